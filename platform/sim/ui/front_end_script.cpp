#include "platform/sim/ui/front_end_script.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/sim/ui/window_manager.h"

namespace sim {

// A parsed step, with a key step's key as the window manager takes it.
struct ScriptFrontEnd::Step : scenario::ScriptStep {
  Input key;
};

namespace {

using Clock = std::chrono::steady_clock;
using scenario::CaptionMatches;
using scenario::Quoted;
using scenario::TextMatches;

bool ParseKey(const std::string& word, Input* key) {
  key->kind = Input::Kind::Key;
  if (word == "Enter") {
    key->key = Input::Key::Enter;
  } else if (word == "Esc") {
    key->key = Input::Key::Escape;
  } else if (word == "Tab") {
    key->key = Input::Key::Tab;
  } else if (word == "Shift+Tab") {
    key->key = Input::Key::ShiftTab;
  } else if (word == "Space") {
    key->key = Input::Key::Space;
  } else if (word.size() == 5 && word.compare(0, 4, "Alt+") == 0 &&
             std::isalnum(static_cast<unsigned char>(word[4]))) {
    key->key = Input::Key::AltLetter;
    key->letter = word[4];
  } else if (word.size() == 1 && std::isalnum(static_cast<unsigned char>(word[0]))) {
    key->key = Input::Key::Letter;
    key->letter = word[0];
  } else {
    return false;
  }
  return true;
}

bool ShowsText(const Screen& screen, const std::string& pattern) {
  for (const WindowView& w : screen.windows) {
    if (TextMatches(pattern, w.caption) || TextMatches(pattern, w.text)) return true;
    for (const ControlView& c : w.controls)
      if (c.visible && CaptionMatches(pattern, c.text)) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<ScriptFrontEnd> ScriptFrontEnd::FromText(const std::string& text,
                                                         const std::string& fileName,
                                                         const Options& options,
                                                         std::string* error) {
  // No screen to take a picture of here: a screenshot step is refused as unknown.
  scenario::ParseOptions parse;
  parse.screenshots = false;
  std::vector<scenario::ScriptStep> parsed;
  if (!scenario::ParseScript(text, fileName, &parsed, error, parse)) return nullptr;
  std::vector<Step> steps;
  for (scenario::ScriptStep& read : parsed) {
    Step step;
    static_cast<scenario::ScriptStep&>(step) = std::move(read);
    // The reader took only key names that ParseKey knows.
    if (step.kind == Step::Kind::Key && !ParseKey(step.text, &step.key)) {
      *error = fileName + ":" + std::to_string(step.line) + ": unknown key '" + step.text + "'";
      return nullptr;
    }
    steps.push_back(std::move(step));
  }
  return std::unique_ptr<ScriptFrontEnd>(new ScriptFrontEnd(fileName, std::move(steps), options));
}

std::unique_ptr<ScriptFrontEnd> ScriptFrontEnd::FromFile(const std::string& path,
                                                         const Options& options,
                                                         std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return FromText(text.str(), path, options, error);
}

ScriptFrontEnd::ScriptFrontEnd(std::string fileName, std::vector<Step> steps, Options options)
    : fileName_(std::move(fileName)), steps_(std::move(steps)), options_(options) {}

ScriptFrontEnd::~ScriptFrontEnd() {
  if (runner_.joinable()) runner_.join();
}

void ScriptFrontEnd::Attach(WindowManager& windows) {
  windows_ = &windows;
  runner_ = std::thread([this] { Run(); });
}

void ScriptFrontEnd::Show(const Screen& screen) {
  if (!options_.echo) return;
  std::string text = DescribeScreen(screen);
  if (text == lastShown_) return;
  lastShown_ = text;
  *options_.echo << "--- screen\n" << text << std::flush;
}

void ScriptFrontEnd::Detach() { Conclude(); }

bool ScriptFrontEnd::Finish() {
  Conclude();
  std::lock_guard<std::mutex> g(mutex_);
  return report_.empty();
}

std::string ScriptFrontEnd::Report() const {
  std::lock_guard<std::mutex> g(mutex_);
  return report_;
}

int ScriptFrontEnd::StepsPassed() const {
  std::lock_guard<std::mutex> g(mutex_);
  return passed_;
}

void ScriptFrontEnd::Conclude() {
  if (runner_.joinable()) runner_.join();
  std::lock_guard<std::mutex> g(mutex_);
  if (concluded_ || !windows_) return;
  concluded_ = true;
  // The program may have waited for input the script did not have.
  if (report_.empty() && windows_->Abandoned())
    report_ = fileName_ + ": after the last step: " + windows_->AbandonReason();
}

void ScriptFrontEnd::Run() {
  for (const Step& step : steps_) {
    const std::string failure = RunStep(step);
    if (!failure.empty()) {
      const std::string report = fileName_ + ":" + std::to_string(step.line) + ": step `" +
                                 step.source + "` failed: " + failure + "\nscreen:\n" +
                                 DescribeScreen(windows_->Snapshot());
      {
        std::lock_guard<std::mutex> g(mutex_);
        report_ = report;
      }
      windows_->Abandon("the script failed at " + fileName_ + ":" + std::to_string(step.line));
      return;
    }
    std::lock_guard<std::mutex> g(mutex_);
    ++passed_;
  }
  windows_->InputExhausted(options_.timeout);
}

std::string ScriptFrontEnd::RunStep(const Step& step) {
  using Kind = Step::Kind;
  const auto deadline = Clock::now() + options_.timeout;
  const std::string waited = " (waited " + std::to_string(options_.timeout.count()) + " ms)";
  WindowManager& wm = *windows_;
  // The top dialog's control `id`, when the top dialog has it.
  auto control = [&](const Screen& s) -> const ControlView* {
    const WindowView* d = s.TopDialog();
    return d ? FindControl(*d, step.id) : nullptr;
  };
  switch (step.kind) {
    case Kind::Timeout:
      options_.timeout = std::chrono::milliseconds(step.id);
      return "";
    case Kind::Expect:
      if (wm.WaitFor([&](const Screen& s) { return ShowsText(s, step.text); }, deadline)) return "";
      return "no window or control shows " + Quoted(step.text) + waited;
    case Kind::ExpectText:
      if (wm.WaitFor(
              [&](const Screen& s) {
                const ControlView* c = control(s);
                return c && TextMatches(step.text, c->text);
              },
              deadline))
        return "";
      return "control " + std::to_string(step.id) + " does not show " + Quoted(step.text) + waited;
    case Kind::ExpectState:
      if (wm.WaitFor(
              [&](const Screen& s) {
                const ControlView* c = control(s);
                if (!c) return false;
                if (step.state == "enabled") return c->enabled;
                if (step.state == "disabled") return !c->enabled;
                if (step.state == "visible") return c->visible;
                return !c->visible;
              },
              deadline))
        return "";
      return "control " + std::to_string(step.id) + " is not " + step.state + waited;
    case Kind::ExpectFocus:
      if (wm.WaitFor(
              [&](const Screen& s) {
                const ControlView* c = control(s);
                return c && c->focused;
              },
              deadline))
        return "";
      return "control " + std::to_string(step.id) + " does not have the focus" + waited;
    case Kind::ExpectProgress:
      if (wm.WaitFor(
              [&](const Screen& s) {
                const ControlView* c = control(s);
                return c && c->kind == ControlKind::ProgressBar &&
                       std::to_string(c->position) == step.text;
              },
              deadline))
        return "";
      return "progress bar " + std::to_string(step.id) + " does not stand at " + step.text + waited;
    case Kind::Press: {
      Input input;
      input.kind = Input::Kind::Button;
      // The button must be there; whether it can be pressed is the dialog's answer.
      const bool found = wm.WaitFor(
          [&](const Screen& s) {
            const WindowView* d = s.TopDialog();
            if (!d) return false;
            for (const ControlView& c : d->controls) {
              if (c.kind != ControlKind::PushButton) continue;
              if (step.byCaption ? CaptionMatches(step.text, c.text) : c.id == step.id) {
                input.window = d->handle;
                input.id = c.id;
                return true;
              }
            }
            return false;
          },
          deadline);
      if (!found)
        return std::string("no dialog has the button ") +
               (step.byCaption ? Quoted(step.text) : std::to_string(step.id)) + waited;
      return wm.Deliver(input, deadline);
    }
    case Kind::Key: {
      Input key = step.key;
      if (!wm.WaitFor(
              [&](const Screen& s) {
                if (step.window.empty()) return s.Active() != nullptr;
                for (const WindowView& w : s.windows)
                  if (TextMatches(step.window, w.caption)) key.window = w.handle;
                return key.window != 0;
              },
              deadline))
        return step.window.empty() ? "no window is open for the key" + waited
                                   : "no window is captioned " + Quoted(step.window) + waited;
      return wm.Deliver(key, deadline);
    }
    case Kind::Close:
    case Kind::SysMenu: {
      Input input;
      input.kind = step.kind == Kind::Close ? Input::Kind::CloseBox : Input::Kind::SystemCommand;
      input.id = step.id;
      if (!wm.WaitFor(
              [&](const Screen& s) {
                const WindowView* d = s.TopDialog();
                if (d) input.window = d->handle;
                return d != nullptr;
              },
              deadline))
        return "no dialog is open" + waited;
      return wm.Deliver(input, deadline);
    }
    case Kind::Box: {
      Input input;
      input.kind = Input::Kind::Answer;
      input.id = step.id;
      if (!wm.WaitFor(
              [&](const Screen& s) {
                for (const WindowView& w : s.windows)
                  if (w.kind == WindowKind::MessageBox && TextMatches(step.text, w.text)) {
                    input.window = w.handle;
                    return true;
                  }
                return false;
              },
              deadline))
        return "no message box shows " + Quoted(step.text) + waited;
      return wm.Deliver(input, deadline);
    }
    case Kind::WaitClosed: {
      uintptr_t dialog = 0;
      const Screen now = wm.Snapshot();
      if (const WindowView* d = now.TopDialog()) dialog = d->handle;
      if (!dialog) return "";
      if (wm.WaitFor([&](const Screen& s) { return s.Find(dialog) == nullptr; }, deadline))
        return "";
      return "the dialog is still open" + waited;
    }
    case Kind::Screenshot:
      break;  // refused when the script was read
  }
  return "unknown step";
}

}  // namespace sim
