#include "platform/script/scenario_script.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace scenario {

namespace {

// Splits a step into words and quoted texts (escapes resolved); false on a bad quote.
bool Tokenize(const std::string& line, std::vector<std::string>* words, std::vector<bool>* quoted,
              std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    if (line[i] != '"') {
      size_t end = i;
      while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
      words->push_back(line.substr(i, end - i));
      quoted->push_back(false);
      i = end;
      continue;
    }
    std::string text;
    bool closed = false;
    for (++i; i < line.size();) {
      const char c = line[i++];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c != '\\' || i >= line.size()) {
        text += c;
        continue;
      }
      const char e = line[i++];
      if (e == 'n') {
        text += '\n';
      } else if (e == '"' || e == '\\') {
        text += e;
      } else {
        *error = std::string("unknown escape \\") + e;
        return false;
      }
    }
    if (!closed) {
      *error = "a quoted text is not closed";
      return false;
    }
    words->push_back(text);
    quoted->push_back(true);
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

bool ParseStep(const std::string& line, const ParseOptions& options, ScriptStep* step,
               std::string* error) {
  using Kind = ScriptStep::Kind;
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
    if (!want(3, "expect-progress ID N") || !number(1, &step->id, "control id")) return false;
    int position = 0;
    if (!number(2, &position, "position")) return false;
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
    if (w.size() == 4 && !q[2] && w[2] == "in") {
      if (!quoted(3)) return false;
      step->window = w[3];
    } else if (!want(2, "key Enter|Esc|Tab|Shift+Tab|Space|Alt+X|X [in \"CAPTION\"]")) {
      return false;
    }
    if (q[1] || !IsKeyName(w[1])) {
      *error = "unknown key '" + w[1] + "'";
      return false;
    }
    step->kind = Kind::Key;
    step->text = w[1];
  } else if (verb == "close") {
    if (!want(1, "close")) return false;
    step->kind = Kind::Close;
  } else if (verb == "sysmenu") {
    if (!want(2, "sysmenu N") || !number(1, &step->id, "command")) return false;
    step->kind = Kind::SysMenu;
  } else if (verb == "box") {
    if (!want(4, "box \"TEXT\" answer OK|Cancel|Yes|No|...") || !quoted(1)) return false;
    step->id = q[3] ? 0 : AnswerId(w[3]);
    if (w[2] != "answer" || step->id == 0) {
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
  } else if (verb == "screenshot" && options.screenshots) {
    if (w.size() == 3) {
      if (!quoted(2)) return false;
      step->window = w[2];
    } else if (!want(2, "screenshot NAME [\"CAPTION\"]")) {
      return false;
    }
    if (q[1] || !IsSafeShotName(w[1])) {
      *error = "a screenshot name is letters, digits, '-', '_' and '.', not '" + w[1] + "'";
      return false;
    }
    step->kind = Kind::Screenshot;
    step->text = w[1];
  } else {
    *error = "unknown step '" + verb + "'";
    return false;
  }
  return true;
}

}  // namespace

bool ParseScript(const std::string& text, const std::string& fileName,
                 std::vector<ScriptStep>* steps, std::string* error, const ParseOptions& options) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    ScriptStep step;
    step.line = number;
    step.source = line.substr(first);
    std::string why;
    if (!ParseStep(step.source, options, &step, &why)) {
      *error = fileName + ":" + std::to_string(number) + ": " + why;
      return false;
    }
    steps->push_back(std::move(step));
  }
  return true;
}

bool TextMatches(const std::string& pattern, const std::string& text) {
  if (pattern == text) return true;
  const std::string ellipsis = "...";
  if (pattern.size() < ellipsis.size() ||
      pattern.compare(pattern.size() - ellipsis.size(), ellipsis.size(), ellipsis) != 0)
    return false;
  const std::string head = pattern.substr(0, pattern.size() - ellipsis.size());
  return text.compare(0, head.size(), head) == 0;
}

bool CaptionMatches(const std::string& pattern, const std::string& caption) {
  return TextMatches(pattern, caption) || TextMatches(pattern, WithoutMnemonics(caption));
}

std::string WithoutMnemonics(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;  // "&&" keeps one '&'
    out += text[i];
  }
  return out;
}

std::string Quoted(const std::string& text) {
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

int AnswerId(const std::string& word) {
  // The dialog-box command ids of the SDK (IDOK ... IDCONTINUE).
  static const std::pair<const char*, int> kAnswers[] = {
      {"OK", 1},  {"Cancel", 2}, {"Abort", 3},     {"Retry", 4},    {"Ignore", 5},
      {"Yes", 6}, {"No", 7},     {"TryAgain", 10}, {"Continue", 11}};
  for (const auto& [name, id] : kAnswers)
    if (word == name) return id;
  return 0;
}

bool IsKeyName(const std::string& word) {
  static const char* const kNamed[] = {"Enter", "Esc", "Tab", "Shift+Tab", "Space"};
  for (const char* name : kNamed)
    if (word == name) return true;
  if (word.size() == 5 && word.compare(0, 4, "Alt+") == 0)
    return std::isalnum(static_cast<unsigned char>(word[4])) != 0;
  return word.size() == 1 && std::isalnum(static_cast<unsigned char>(word[0]));
}

bool IsSafeShotName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

}  // namespace scenario
