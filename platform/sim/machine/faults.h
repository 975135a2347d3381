// Injected failures: a test makes a named Win32 call fail with a chosen error,
// on every call, on the n-th, or only for a given key or path.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct FaultRule {
  std::string call;     // "RegOpenKeyExA", "CopyFileA", ...; "*" matches every call
  uint32_t error = 0;   // the Win32 error the call reports
  int nth = 0;          // 0: every matching call; n: only the n-th matching call
  std::string subject;  // substring of the key path or file path (case ignored); "" any
  int seen = 0;         // matching calls so far
  // Runs on the calling thread when the rule strikes, before the call does anything: a
  // test's way to change the machine between two calls of a program. With `error` 0 the
  // call then goes on as usual.
  std::function<void()> action = nullptr;
};

class Faults {
 public:
  void Add(FaultRule rule);
  void Clear();
  // Called at the start of every simulated call; the error to fail with, if any.
  std::optional<uint32_t> Check(std::string_view call, std::string_view subject);
  // True when a rule for `call` is limited to a subject. Calls whose subject costs
  // more to name than the call itself (a path built from a handle) name it only then.
  bool NeedsSubject(std::string_view call) const;
  // How often each call was made (for sweeps that fail every call in turn).
  std::map<std::string, int> CallCounts() const;
  int TotalCalls() const;

 private:
  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
  std::map<std::string, int, std::less<>> counts_;
  int total_ = 0;
};

}  // namespace sim
