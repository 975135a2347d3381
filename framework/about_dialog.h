// The About box both programs open from their system menu: dialog template 100 of the
// program's own resources, with nothing to handle but its OK button.
#pragma once

#include "framework/dialog.h"

class AboutDialog : public Dialog {
 public:
  static constexpr int kTemplateId = 100;
  explicit AboutDialog(Dialog* parent) : Dialog(kTemplateId, parent) {}
};
