// winsim preview PACKAGE_DIR --edition NAME --registry FILE.reg ...: the uninstall of a
// package's product on a customer's machine, as the customer's registry export shows it.
#pragma once

#include <string>
#include <vector>

namespace winsim {

// Prints the preview (text, or JSON when `json`); returns the command's exit status.
int RunCustomerPreview(const std::string& package, const std::string& edition,
                       const std::vector<std::string>& exports, bool json);

}  // namespace winsim
