#include "tools/winsim/json_text.h"

#include <cstdio>

namespace winsim {

JsonValue JsonValue::Bool(bool value) {
  JsonValue v;
  v.kind_ = Kind::kBool;
  v.bool_ = value;
  return v;
}

JsonValue JsonValue::Number(int64_t value) {
  JsonValue v;
  v.kind_ = Kind::kNumber;
  v.number_ = value;
  return v;
}

JsonValue JsonValue::String(std::string_view utf8) {
  JsonValue v;
  v.kind_ = Kind::kString;
  v.string_ = utf8;
  return v;
}

JsonValue JsonValue::Array() {
  JsonValue v;
  v.kind_ = Kind::kArray;
  return v;
}

JsonValue JsonValue::Object() {
  JsonValue v;
  v.kind_ = Kind::kObject;
  return v;
}

JsonValue& JsonValue::Push(JsonValue value) {
  elements_.push_back(std::move(value));
  return *this;
}

JsonValue& JsonValue::Set(std::string_view key, JsonValue value) {
  members_.emplace_back(std::string(key), std::move(value));
  return *this;
}

std::string JsonValue::Text() const {
  std::string out;
  Write(&out, 0);
  return out;
}

void JsonValue::Write(std::string* out, int depth) const {
  const std::string inner(2 * (depth + 1), ' ');
  const std::string outer(2 * depth, ' ');
  switch (kind_) {
    case Kind::kNull:
      *out += "null";
      return;
    case Kind::kBool:
      *out += bool_ ? "true" : "false";
      return;
    case Kind::kNumber:
      *out += std::to_string(number_);
      return;
    case Kind::kString:
      *out += JsonQuoted(string_);
      return;
    case Kind::kArray:
      if (elements_.empty()) {
        *out += "[]";
        return;
      }
      *out += "[\n";
      for (size_t i = 0; i < elements_.size(); ++i) {
        *out += inner;
        elements_[i].Write(out, depth + 1);
        *out += i + 1 < elements_.size() ? ",\n" : "\n";
      }
      *out += outer + "]";
      return;
    case Kind::kObject:
      if (members_.empty()) {
        *out += "{}";
        return;
      }
      *out += "{\n";
      for (size_t i = 0; i < members_.size(); ++i) {
        *out += inner + JsonQuoted(members_[i].first) + ": ";
        members_[i].second.Write(out, depth + 1);
        *out += i + 1 < members_.size() ? ",\n" : "\n";
      }
      *out += outer + "}";
      return;
  }
}

std::string JsonQuoted(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace winsim
