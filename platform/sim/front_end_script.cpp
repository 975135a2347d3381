#include "platform/sim/front_end_script.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/sim/window_manager.h"

namespace sim {

struct ScriptFrontEnd::Step {
  enum class Kind {
    Expect,
    ExpectText,
    ExpectState,
    ExpectFocus,
    ExpectProgress,
    Press,
    Key,
    Close,
    SysMenu,
    Box,
    WaitClosed,
    Timeout
  };
  Kind kind = Kind::Expect;
  int line = 0;
  std::string source;
  std::string text;  // TEXT or CAPTION
  int id = 0;        // control id, command, answer, number or milliseconds
  bool byCaption = false;
  std::string state;  // enabled, disabled, visible, hidden
  Input key;
};

bool ScriptTextMatches(const std::string& pattern, const std::string& text) {
  if (pattern == text) return true;
  const std::string ellipsis = "...";
  if (pattern.size() >= ellipsis.size() &&
      pattern.compare(pattern.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
    const std::string head = pattern.substr(0, pattern.size() - ellipsis.size());
    return text.compare(0, head.size(), head) == 0;
  }
  return false;
}

namespace {

using Clock = std::chrono::steady_clock;

// Splits a step into words and quoted texts (escapes resolved); false on a bad quote.
bool Tokenize(const std::string& line, std::vector<std::string>* words, std::vector<bool>* quoted,
              std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      std::string text;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < line.size()) {
          const char e = line[i++];
          if (e == 'n') {
            text += '\n';
          } else if (e == '"' || e == '\\') {
            text += e;
          } else {
            *error = std::string("unknown escape \\") + e;
            return false;
          }
          continue;
        }
        text += c;
      }
      if (!closed) {
        *error = "a quoted text is not closed";
        return false;
      }
      words->push_back(text);
      quoted->push_back(true);
      continue;
    }
    size_t end = i;
    while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
    words->push_back(line.substr(i, end - i));
    quoted->push_back(false);
    i = end;
  }
  return true;
}

bool ParseNumber(const std::string& word, int* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(word.c_str(), &end, 0);
  if (*end != '\0' || v < -0x7fffffffL || v > 0x7fffffffL) return false;
  *value = static_cast<int>(v);
  return true;
}

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

bool ParseAnswer(const std::string& word, int* answer) {
  static const std::pair<const char*, int> kAnswers[] = {
      {"OK", IDOK},         {"Cancel", IDCANCEL},     {"Yes", IDYES},
      {"No", IDNO},         {"Abort", IDABORT},       {"Retry", IDRETRY},
      {"Ignore", IDIGNORE}, {"TryAgain", IDTRYAGAIN}, {"Continue", IDCONTINUE}};
  for (const auto& [name, id] : kAnswers)
    if (word == name) {
      *answer = id;
      return true;
    }
  return false;
}

bool ParseStep(const std::string& line, ScriptFrontEnd::Step* step, std::string* error);

bool CaptionMatches(const std::string& pattern, const std::string& caption) {
  return ScriptTextMatches(pattern, caption) ||
         ScriptTextMatches(pattern, WithoutMnemonics(caption));
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

bool ShowsText(const Screen& screen, const std::string& pattern) {
  for (const WindowView& w : screen.windows) {
    if (ScriptTextMatches(pattern, w.caption) || ScriptTextMatches(pattern, w.text)) return true;
    for (const ControlView& c : w.controls)
      if (c.visible && CaptionMatches(pattern, c.text)) return true;
  }
  return false;
}

}  // namespace

namespace {

bool ParseStep(const std::string& line, ScriptFrontEnd::Step* step, std::string* error) {
  using Kind = ScriptFrontEnd::Step::Kind;
  std::vector<std::string> w;
  std::vector<bool> q;
  if (!Tokenize(line, &w, &q, error)) return false;
  const std::string& verb = w[0];
  auto want = [&](size_t n, const char* form) {
    if (w.size() == n) return true;
    *error = std::string("expected: ") + form;
    return false;
  };
  auto number = [&](size_t i, int* value, const char* what) {
    if (!q[i] && ParseNumber(w[i], value)) return true;
    *error = std::string("not a number: ") + what + " '" + w[i] + "'";
    return false;
  };
  auto quoted = [&](size_t i) {
    if (q[i]) return true;
    *error = "expected a quoted text, not '" + w[i] + "'";
    return false;
  };
  if (verb == "expect") {
    if (!want(2, "expect \"TEXT\"") || !quoted(1)) return false;
    step->kind = Kind::Expect;
    step->text = w[1];
  } else if (verb == "expect-text") {
    if (!want(3, "expect-text ID \"TEXT\"") || !number(1, &step->id, "control id") || !quoted(2))
      return false;
    step->kind = Kind::ExpectText;
    step->text = w[2];
  } else if (verb == "expect-state") {
    if (!want(3, "expect-state ID enabled|disabled|visible|hidden") ||
        !number(1, &step->id, "control id"))
      return false;
    if (w[2] != "enabled" && w[2] != "disabled" && w[2] != "visible" && w[2] != "hidden") {
      *error = "unknown state '" + w[2] + "' (enabled, disabled, visible, hidden)";
      return false;
    }
    step->kind = Kind::ExpectState;
    step->state = w[2];
  } else if (verb == "expect-focus") {
    if (!want(2, "expect-focus ID") || !number(1, &step->id, "control id")) return false;
    step->kind = Kind::ExpectFocus;
  } else if (verb == "expect-progress") {
    int position = 0;
    if (!want(3, "expect-progress ID N") || !number(1, &step->id, "control id") ||
        !number(2, &position, "position"))
      return false;
    step->kind = Kind::ExpectProgress;
    step->text = std::to_string(position);
  } else if (verb == "press") {
    if (!want(2, "press \"CAPTION\" or press ID")) return false;
    step->kind = Kind::Press;
    if (q[1]) {
      step->byCaption = true;
      step->text = w[1];
    } else if (!number(1, &step->id, "button id")) {
      return false;
    }
  } else if (verb == "key") {
    // "key Esc in \"CAPTION\"": the user clicks that window first, as one can click a
    // dialog that a box without owner does not disable.
    if (w.size() == 4 && !q[2] && w[2] == "in") {
      if (!quoted(3)) return false;
      step->text = w[3];
    } else if (!want(2, "key Enter|Esc|Tab|Shift+Tab|Space|Alt+X|X [in \"CAPTION\"]")) {
      return false;
    }
    if (q[1] || !ParseKey(w[1], &step->key)) {
      *error = "unknown key '" + w[1] + "'";
      return false;
    }
    step->kind = Kind::Key;
  } else if (verb == "close") {
    if (!want(1, "close")) return false;
    step->kind = Kind::Close;
  } else if (verb == "sysmenu") {
    if (!want(2, "sysmenu N") || !number(1, &step->id, "command")) return false;
    step->kind = Kind::SysMenu;
  } else if (verb == "box") {
    if (!want(4, "box \"TEXT\" answer OK|Cancel|Yes|No|...") || !quoted(1)) return false;
    if (w[2] != "answer" || q[3] || !ParseAnswer(w[3], &step->id)) {
      *error =
          "expected: box \"TEXT\" answer OK|Cancel|Yes|No|Abort|Retry|Ignore|TryAgain|"
          "Continue";
      return false;
    }
    step->kind = Kind::Box;
    step->text = w[1];
  } else if (verb == "wait-closed") {
    if (!want(1, "wait-closed")) return false;
    step->kind = Kind::WaitClosed;
  } else if (verb == "timeout") {
    if (!want(2, "timeout MS") || !number(1, &step->id, "milliseconds")) return false;
    if (step->id <= 0) {
      *error = "the timeout must be positive";
      return false;
    }
    step->kind = Kind::Timeout;
  } else {
    *error = "unknown step '" + verb + "'";
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<ScriptFrontEnd> ScriptFrontEnd::FromText(const std::string& text,
                                                         const std::string& fileName,
                                                         const Options& options,
                                                         std::string* error) {
  std::vector<Step> steps;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    Step step;
    step.line = number;
    step.source = line.substr(first);
    std::string why;
    if (!ParseStep(step.source, &step, &why)) {
      *error = fileName + ":" + std::to_string(number) + ": " + why;
      return nullptr;
    }
    steps.push_back(step);
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
      return "no window or control shows " + Quote(step.text) + waited;
    case Kind::ExpectText:
      if (wm.WaitFor(
              [&](const Screen& s) {
                const ControlView* c = control(s);
                return c && ScriptTextMatches(step.text, c->text);
              },
              deadline))
        return "";
      return "control " + std::to_string(step.id) + " does not show " + Quote(step.text) + waited;
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
               (step.byCaption ? Quote(step.text) : std::to_string(step.id)) + waited;
      return wm.Deliver(input, deadline);
    }
    case Kind::Key: {
      Input key = step.key;
      if (!wm.WaitFor(
              [&](const Screen& s) {
                if (step.text.empty()) return s.Active() != nullptr;
                for (const WindowView& w : s.windows)
                  if (ScriptTextMatches(step.text, w.caption)) key.window = w.handle;
                return key.window != 0;
              },
              deadline))
        return step.text.empty() ? "no window is open for the key" + waited
                                 : "no window is captioned " + Quote(step.text) + waited;
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
                  if (w.kind == WindowKind::MessageBox && ScriptTextMatches(step.text, w.text)) {
                    input.window = w.handle;
                    return true;
                  }
                return false;
              },
              deadline))
        return "no message box shows " + Quote(step.text) + waited;
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
  }
  return "unknown step";
}

}  // namespace sim
