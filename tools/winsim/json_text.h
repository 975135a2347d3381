// JSON documents for machine readers: a small value tree whose objects keep their keys
// in the order they were added, so that a report's layout is stable, and strings escaped
// as RFC 8259 asks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace winsim {

class JsonValue {
 public:
  JsonValue() = default;  // null
  static JsonValue Bool(bool value);
  static JsonValue Number(int64_t value);
  static JsonValue String(std::string_view utf8);
  static JsonValue Array();
  static JsonValue Object();

  // Appends to an array.
  JsonValue& Push(JsonValue value);
  // Adds a key to an object; keys stay in this order.
  JsonValue& Set(std::string_view key, JsonValue value);

  // Two-space indentation, one member or element a line, LF line ends, no final LF.
  std::string Text() const;

 private:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  void Write(std::string* out, int depth) const;

  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  int64_t number_ = 0;
  std::string string_;
  std::vector<JsonValue> elements_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

// `utf8` as a JSON string literal, quotes included: '"' and '\' escaped, control
// characters as \n, \t, ... or \u00XX; other bytes pass as they are (the caller gives
// UTF-8).
std::string JsonQuoted(std::string_view utf8);

}  // namespace winsim
