// A simulated process: the program running on a machine, with its module name,
// current folder, token, handles and threads. One process runs at a time; the
// Win32 functions act on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/sim/ui/dialog_template.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/security.h"
#include "platform/sim/sdk/last_error.h"

namespace sim {

class FrontEnd;
class WindowManager;

struct HandleObject {
  virtual ~HandleObject() = default;
};

class HandleTable {
 public:
  uintptr_t Add(std::shared_ptr<HandleObject> object);
  std::shared_ptr<HandleObject> Get(uintptr_t value) const;
  template <typename T>
  std::shared_ptr<T> GetAs(uintptr_t value) const {
    return std::dynamic_pointer_cast<T>(Get(value));
  }
  bool Close(uintptr_t value);
  size_t Count() const;
  template <typename T>
  size_t CountOf() const {
    std::lock_guard<std::mutex> g(mutex_);
    size_t n = 0;
    for (const auto& [k, v] : objects_)
      if (dynamic_cast<T*>(v.get())) ++n;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::map<uintptr_t, std::shared_ptr<HandleObject>> objects_;
  uintptr_t next_ = 0x100;
};

// A message box the process showed, as MessageBoxA received it.
struct MessageBoxRecord {
  std::string text;
  std::string caption;
  uint32_t flags = 0;  // MB_*
  bool hasOwner = false;
  int answer = 0;  // the button the front end pressed (IDOK, IDCANCEL, ...)
};

struct ProcessOptions {
  std::string modulePath = "C:\\Kestrolin.exe";  // GetModuleFileNameA(NULL)
  std::string currentDirectory;                  // defaults to the module's folder
  bool is64BitProcess = false;                   // the programs are 32-bit; the shell is native
  const ResourceSet* resources = nullptr;        // the program's own resources, if any
  FrontEnd* frontEnd = nullptr;  // shows the windows and gives the input; none: no screen
};

class Process {
 public:
  Process(Machine& machine, ProcessOptions options);
  ~Process();

  Machine& machine;
  std::string modulePath;
  std::string currentDirectory;
  bool is64BitProcess;
  const ResourceSet* resources;
  Token token;
  std::map<std::string, bool> privileges;  // name -> enabled; what the token holds
  HandleTable handles;

  // The file the process was started from, as its starter found it; Windows will not
  // delete the image of a running program.
  bool IsOwnImage(const FsNode& node) const { return image_.lock().get() == &node; }

  // A 32-bit process on a 64-bit Windows.
  bool IsWow64() const { return machine.os.Is64Bit() && !is64BitProcess; }

  // Libraries loaded by LoadLibraryA and not yet freed: lower-case name -> count.
  std::map<std::string, int> libraryReferences;

  // Message boxes shown so far, oldest first. Each is answered by the next scripted
  // answer, or else by its default button (IDOK for MB_OK and MB_OKCANCEL).
  std::vector<MessageBoxRecord> messageBoxes;
  std::vector<int> messageBoxAnswers;  // consumed from the front

  // The process's windows, dialogs and message boxes.
  WindowManager& windows() { return *windows_; }

  // Threads started with CreateThread. The process waits for them when it ends,
  // because their code still runs on this process's machine.
  void AdoptThread(std::thread thread);
  void JoinThreads();

  // LocalAlloc'd blocks and objects the security functions hand out; LocalFree ends them.
  void* TrackLocal(void* block, std::function<void()> release);
  bool FreeLocal(void* block);
  size_t LocalCount() const;

 private:
  std::mutex threadMutex_;
  std::vector<std::thread> threads_;
  mutable std::mutex localMutex_;
  std::map<void*, std::function<void()>> locals_;
  std::unique_ptr<WindowManager> windows_;
  std::weak_ptr<FsNode> image_;
};

// The running process; aborts with a clear message when no process runs.
Process& CurrentProcess();
Process* CurrentProcessOrNull();

// Runs a process on a machine for the scope's lifetime.
class ProcessScope {
 public:
  explicit ProcessScope(Machine& machine, ProcessOptions options = {});
  ~ProcessScope();
  ProcessScope(const ProcessScope&) = delete;
  ProcessScope& operator=(const ProcessScope&) = delete;
  Process& process() { return *process_; }

 private:
  std::unique_ptr<Process> process_;
  Process* previous_;
};

// Per-thread state of the calling thread (its last error: sdk/last_error.h).
bool& ThreadFsRedirectionDisabled();

}  // namespace sim
