#include "platform/sim/machine/faults.h"

#include "platform/sim/machine/name_order.h"

namespace sim {

namespace {
bool ContainsIgnoringCase(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > hay.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    if (NamesEqual(hay.substr(i, needle.size()), needle)) return true;
  }
  return false;
}
}  // namespace

void Faults::Add(FaultRule rule) {
  std::lock_guard<std::mutex> g(mutex_);
  rules_.push_back(std::move(rule));
}

void Faults::Clear() {
  std::lock_guard<std::mutex> g(mutex_);
  rules_.clear();
  counts_.clear();
  total_ = 0;
}

std::optional<uint32_t> Faults::Check(std::string_view call, std::string_view subject) {
  std::function<void()> action;
  std::optional<uint32_t> error;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto count = counts_.find(call);
    if (count == counts_.end()) count = counts_.emplace(std::string(call), 0).first;
    ++count->second;
    ++total_;
    for (auto& rule : rules_) {
      if (rule.call != "*" && rule.call != call) continue;
      if (!ContainsIgnoringCase(subject, rule.subject)) continue;
      ++rule.seen;
      if (rule.nth != 0 && rule.seen != rule.nth) continue;
      action = rule.action;
      if (rule.error != 0 || !action) error = rule.error;
      break;
    }
  }
  if (action) action();  // outside the lock: it may call into the machine
  return error;
}

bool Faults::NeedsSubject(std::string_view call) const {
  std::lock_guard<std::mutex> g(mutex_);
  for (const auto& rule : rules_) {
    if ((rule.call == "*" || rule.call == call) && !rule.subject.empty()) return true;
  }
  return false;
}

std::map<std::string, int> Faults::CallCounts() const {
  std::lock_guard<std::mutex> g(mutex_);
  return std::map<std::string, int>(counts_.begin(), counts_.end());
}

int Faults::TotalCalls() const {
  std::lock_guard<std::mutex> g(mutex_);
  return total_;
}

}  // namespace sim
