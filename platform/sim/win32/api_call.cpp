#include "platform/sim/win32/api_call.h"

namespace sim {

ApiCall::ApiCall(const char* name, std::string_view subject)
    : process_(CurrentProcess()),
      lock_(process_.machine.mutex),
      name_(name),
      fault_(process_.machine.faults.Check(name, subject)) {}

ApiCall::ApiCall(const char* name, Deferred)
    : process_(CurrentProcess()), lock_(process_.machine.mutex), name_(name) {}

const std::optional<uint32_t>& ApiCall::CheckFault(std::string_view subject) {
  fault_ = process_.machine.faults.Check(name_, subject);
  return fault_;
}

}  // namespace sim
