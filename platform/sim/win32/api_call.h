// The start of every simulated Win32 call (ApiCall): the machine's lock, the count of the
// call and the failure injected for it, if one is due.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/sim/machine/process.h"

namespace sim {

// Every simulated call starts with this: it takes the machine's lock, counts the
// call and reports an injected failure for it, if one is due.
class ApiCall {
 public:
  ApiCall(const char* name, std::string_view subject = {});
  Machine& machine() { return process_.machine; }
  Process& process() { return process_; }
  // The injected error for this call, if any.
  const std::optional<uint32_t>& fault() const { return fault_; }

  // For calls whose subject is known only under the lock (a key path built from a
  // handle): the fault check is made here instead of in the constructor.
  struct Deferred {};
  ApiCall(const char* name, Deferred);
  const std::optional<uint32_t>& CheckFault(std::string_view subject);
  // The same for a subject that costs more to name than the call itself:
  // `subject()` names it, and is called only when a rule asks for a subject.
  template <typename Subject>
  const std::optional<uint32_t>& CheckFaultNaming(Subject&& subject) {
    if (!machine().faults.NeedsSubject(name_)) return CheckFault({});
    return CheckFault(subject());
  }

 private:
  Process& process_;
  std::lock_guard<std::recursive_mutex> lock_;
  const char* name_;
  std::optional<uint32_t> fault_;
};

}  // namespace sim
