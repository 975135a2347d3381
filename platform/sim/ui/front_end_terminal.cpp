#include "platform/sim/ui/front_end_terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include "platform/sim/ui/front_end_terminal_input.h"
#include "platform/sim/ui/front_end_terminal_render.h"
#include "platform/sim/ui/window_manager.h"

namespace sim {

namespace {

// The terminal's settings before raw mode, for the restorers below (one terminal at a
// time). Plain globals: a signal handler may only touch these.
struct termios savedSettings;
volatile sig_atomic_t savedFd = -1;
volatile sig_atomic_t savedOutputFd = -1;  // where the screen is drawn; not descriptor 1,
                                           // which may be held in a file meanwhile
volatile sig_atomic_t onAlternateScreen = 0;

void WriteEscapes(int fd, const char* text, size_t size) {
  ssize_t ignored = write(fd, text, size);
  (void)ignored;
}

void RestoreTerminal() {
  const int fd = savedFd;
  if (fd < 0) return;
  tcsetattr(fd, TCSAFLUSH, &savedSettings);
  // Back to the normal screen, where the cursor stands where it stood before; without
  // the alternate screen the drawing is ended by a line of its own.
  static const char kNormalScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
  static const char kEndOfDrawing[] = "\x1b[0m\x1b[?25h\r\n";
  if (onAlternateScreen) {
    WriteEscapes(savedOutputFd, kNormalScreen, sizeof kNormalScreen - 1);
  } else {
    WriteEscapes(savedOutputFd, kEndOfDrawing, sizeof kEndOfDrawing - 1);
  }
  onAlternateScreen = 0;
  savedFd = -1;
}

void RestoreOnSignal(int signal) {
  RestoreTerminal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallRestorers() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  std::atexit(RestoreTerminal);
  for (int s : {SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV}) std::signal(s, RestoreOnSignal);
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(int inputFd, int outputFd)
    : inputFd_(inputFd), outputFd_(outputFd) {}

TerminalFrontEnd::~TerminalFrontEnd() { Detach(); }

void TerminalFrontEnd::Attach(WindowManager& windows) {
  windows_ = &windows;
  if (isatty(inputFd_) && tcgetattr(inputFd_, &savedSettings) == 0) {
    InstallRestorers();
    struct termios raw = savedSettings;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    savedFd = inputFd_;
    savedOutputFd = outputFd_;
    rawMode_ = tcsetattr(inputFd_, TCSAFLUSH, &raw) == 0;
    if (!rawMode_) savedFd = -1;
  }
  if (rawMode_) {
    fullScreen_ = isatty(outputFd_);
    onAlternateScreen = fullScreen_;
    // The alternate screen, and no cursor over the drawing.
    WriteAll(outputFd_, fullScreen_ ? "\x1b[?1049h\x1b[?25l" : "\x1b[?25l");
  }
  if (pipe(wakeFds_) != 0) wakeFds_[0] = wakeFds_[1] = -1;
  reader_ = std::thread([this] { ReadKeys(); });
}

void TerminalFrontEnd::Show(const Screen& screen) { Draw(screen); }

void TerminalFrontEnd::Draw(const Screen& screen) {
  std::lock_guard<std::mutex> g(drawMutex_);
  if (screen.version < drawnVersion_) return;  // a newer state is on the screen already
  drawnVersion_ = screen.version;
  if (!screen.windows.empty()) lastWindows_ = screen;
  RenderOptions options;
  options.ansi = true;
  options.statusLine = statusLine_;
  // Read at every drawing: the terminal may have been resized since the last one.
  struct winsize size = {};
  if (ioctl(outputFd_, TIOCGWINSZ, &size) == 0) options.columns = size.ws_col;
  // Drawn over the last drawing from the top left, and what is below it erased: the
  // screen is not cleared first, which would flicker (and, outside the alternate
  // screen, push the old drawing into the scrollback).
  WriteAll(outputFd_, "\x1b[H" + RenderScreen(screen, options) + "\x1b[J");
}

void TerminalFrontEnd::Detach() {
  if (reader_.joinable()) {
    if (wakeFds_[1] >= 0) {
      const char stop = 'q';
      ssize_t ignored = write(wakeFds_[1], &stop, 1);
      (void)ignored;
    }
    reader_.join();
  }
  for (int& fd : wakeFds_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  if (rawMode_) {
    RestoreTerminal();
    rawMode_ = false;
  }
  if (fullScreen_) {
    // What the program showed last stays in the scrollback, once, without the key help.
    fullScreen_ = false;
    if (!lastWindows_.windows.empty()) {
      RenderOptions options;
      options.ansi = true;
      options.keyHelp = false;
      WriteAll(outputFd_, RenderScreen(lastWindows_, options));
    }
  }
  windows_ = nullptr;
}

void TerminalFrontEnd::ReadKeys() {
  for (;;) {
    struct pollfd fds[2] = {{inputFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (poll(fds, wakeFds_[0] >= 0 ? 2 : 1, -1) < 0) continue;
    if (fds[1].revents) return;  // Detach
    if (!(fds[0].revents & (POLLIN | POLLHUP))) continue;
    char buffer[64];
    const ssize_t n = read(inputFd_, buffer, sizeof buffer);
    if (n <= 0) return;  // end of input: the program goes on without keys
    for (const TerminalKey& key : ParseTerminalInput(std::string_view(buffer, n))) {
      std::optional<Input> input = InputForKey(key);
      std::string message;
      if (!input) {
        windows_->Abandon("interrupted with Ctrl+C");
        message = "interrupted";
      } else {
        message =
            windows_->Deliver(*input, std::chrono::steady_clock::now() + std::chrono::seconds(30));
      }
      {
        std::lock_guard<std::mutex> g(drawMutex_);
        statusLine_ = message;
      }
      Draw(windows_->Snapshot());
    }
  }
}

}  // namespace sim
