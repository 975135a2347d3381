// What the file search tests share: a simulated XP machine with a running
// process, and a notification function that records every code with the folder
// or path it concerns.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file_search/file_finder.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace file_search_test {

inline std::unique_ptr<sim::Machine> Xp() {
  std::string error;
  auto machine = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

// One notification as the finder sent it: the code, and for code 2 the current
// folder, for code 0 the last result.
struct Event {
  int code;
  std::string subject;
  bool operator==(const Event& other) const {
    return code == other.code && subject == other.subject;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{" << e.code << ", \"" << e.subject << "\"}";
}

// Records the notifications of one finder. The 32-bit user value selects the
// recorder, so the test also sees that the value comes back unchanged.
class Recorder {
 public:
  explicit Recorder(FileFinder& finder, DWORD userData = 0x80000001u) : userData_(userData) {
    Recorders()[userData] = this;
    finder.SetCallback(&Recorder::Callback, userData);
  }
  ~Recorder() { Recorders().erase(userData_); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  std::vector<Event> events;
  // Called after an event is recorded; may call Stop on the finder.
  std::function<void(FileFinder&, const Event&)> onEvent;

  int Count(int code) const {
    int n = 0;
    for (const Event& e : events) n += e.code == code;
    return n;
  }

 private:
  static std::map<DWORD, Recorder*>& Recorders() {
    static std::map<DWORD, Recorder*> recorders;
    return recorders;
  }
  static void Callback(FileFinder* finder, int code, DWORD userData) {
    auto it = Recorders().find(userData);
    ASSERT_NE(it, Recorders().end()) << "user value changed: " << userData;
    Recorder& self = *it->second;
    Event event{code, ""};
    if (code == FOUND_ENTER_FOLDER) event.subject = finder->currentFolder();
    if (code == FOUND_MATCH) {
      event.subject = finder->GetResult(finder->GetResultCount() - 1).GetPathText();
    }
    self.events.push_back(event);
    if (self.onEvent) self.onEvent(*finder, event);
  }

  DWORD userData_;
};

// FILETIME ticks of a count of seconds since 1970 (UTC).
inline uint64_t TicksOf(int64_t secondsSince1970) {
  return static_cast<uint64_t>(secondsSince1970 + 11644473600ll) * 10000000ull;
}

}  // namespace file_search_test
