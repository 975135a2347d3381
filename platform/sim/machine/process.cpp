#include "platform/sim/machine/process.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/sim/ui/window_manager.h"

namespace sim {

uintptr_t HandleTable::Add(std::shared_ptr<HandleObject> object) {
  std::lock_guard<std::mutex> g(mutex_);
  const uintptr_t value = next_;
  next_ += 4;
  objects_[value] = std::move(object);
  return value;
}

std::shared_ptr<HandleObject> HandleTable::Get(uintptr_t value) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = objects_.find(value);
  return it == objects_.end() ? nullptr : it->second;
}

bool HandleTable::Close(uintptr_t value) {
  std::shared_ptr<HandleObject> doomed;  // destroyed outside the lock
  std::lock_guard<std::mutex> g(mutex_);
  auto it = objects_.find(value);
  if (it == objects_.end()) return false;
  doomed = std::move(it->second);
  objects_.erase(it);
  return true;
}

size_t HandleTable::Count() const {
  std::lock_guard<std::mutex> g(mutex_);
  return objects_.size();
}

namespace {

std::atomic<Process*> g_current{nullptr};

std::string FolderOf(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  if (sep == std::string::npos) return std::string();
  if (sep == 2 && path.size() > 1 && path[1] == ':') return path.substr(0, 3);  // "D:\"
  return path.substr(0, sep);
}

}  // namespace

Process::Process(Machine& m, ProcessOptions options)
    : machine(m),
      modulePath(std::move(options.modulePath)),
      currentDirectory(options.currentDirectory.empty() ? FolderOf(modulePath)
                                                        : std::move(options.currentDirectory)),
      is64BitProcess(options.is64BitProcess),
      resources(options.resources),
      windows_(std::make_unique<WindowManager>(options.frontEnd)) {
  token.user = machine.os.userName;
  // What an administrator's token holds; only change-notify is enabled at logon.
  for (const char* name : {"SeShutdownPrivilege", "SeBackupPrivilege", "SeRestorePrivilege",
                           "SeTakeOwnershipPrivilege", "SeDebugPrivilege", "SeSecurityPrivilege",
                           "SeSystemtimePrivilege", "SeLoadDriverPrivilege", "SeUndockPrivilege",
                           "SeRemoteShutdownPrivilege"}) {
    privileges[name] = false;
  }
  privileges["SeChangeNotifyPrivilege"] = true;
  // The starter (the shell, a 64-bit process) names the image without redirection.
  std::lock_guard<std::recursive_mutex> lock(machine.mutex);
  image_ = machine.files.Find(modulePath);
}

void Process::AdoptThread(std::thread thread) {
  std::lock_guard<std::mutex> g(threadMutex_);
  threads_.push_back(std::move(thread));
}

void Process::JoinThreads() {
  for (;;) {
    std::vector<std::thread> running;
    {
      std::lock_guard<std::mutex> g(threadMutex_);
      running.swap(threads_);
    }
    if (running.empty()) return;
    for (auto& t : running) t.join();  // a thread may have started more threads
  }
}

Process::~Process() {
  JoinThreads();
  std::lock_guard<std::mutex> g(localMutex_);
  for (auto& [block, release] : locals_) release();
  locals_.clear();
}

void* Process::TrackLocal(void* block, std::function<void()> release) {
  std::lock_guard<std::mutex> g(localMutex_);
  locals_[block] = std::move(release);
  return block;
}

bool Process::FreeLocal(void* block) {
  std::function<void()> release;
  {
    std::lock_guard<std::mutex> g(localMutex_);
    auto it = locals_.find(block);
    if (it == locals_.end()) return false;
    release = std::move(it->second);
    locals_.erase(it);
  }
  release();
  return true;
}

size_t Process::LocalCount() const {
  std::lock_guard<std::mutex> g(localMutex_);
  return locals_.size();
}

Process* CurrentProcessOrNull() { return g_current.load(); }

Process& CurrentProcess() {
  Process* p = g_current.load();
  if (!p) {
    std::fprintf(stderr,
                 "simulated Windows: a Win32 function was called while no simulated process "
                 "runs (start one with sim::ProcessScope)\n");
    std::abort();
  }
  return *p;
}

ProcessScope::ProcessScope(Machine& machine, ProcessOptions options)
    : process_(std::make_unique<Process>(machine, std::move(options))),
      previous_(g_current.exchange(process_.get())) {
  ThreadLastError() = 0;
  ThreadFsRedirectionDisabled() = false;
}

ProcessScope::~ProcessScope() {
  // The program has returned: its windows go, so that no thread waits on them any more.
  process_->windows().CloseAll();
  process_->JoinThreads();  // they still call into this process
  g_current.store(previous_);
}

bool& ThreadFsRedirectionDisabled() {
  thread_local bool disabled = false;
  return disabled;
}

}  // namespace sim
