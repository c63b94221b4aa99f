// JsonWriter: escaping as RFC 8259 asks, numbers with std::to_chars.
#include "JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace bench {

void JsonWriter::NewLine() {
  text_ += '\n';
  text_.append(2 * levels_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) text_ += level.one_line ? ", " : ",";
  if (!level.one_line) NewLine();
  level.empty = false;
}

void JsonWriter::Open(char Bracket, bool OneLine) {
  BeforeValue();
  text_ += Bracket;
  levels_.push_back({true, OneLine});
}

void JsonWriter::Close(char Bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.empty && !level.one_line) NewLine();
  text_ += Bracket;
  if (levels_.empty()) text_ += '\n';
}

void JsonWriter::Key(std::string_view Name) {
  BeforeValue();
  Quoted(Name);
  text_ += ": ";
  after_key_ = true;
}

void JsonWriter::String(std::string_view Text) {
  BeforeValue();
  Quoted(Text);
}

void JsonWriter::Quoted(std::string_view Text) {
  text_ += '"';
  for (const char c : Text) {
    switch (c) {
      case '"': text_ += "\\\""; break;
      case '\\': text_ += "\\\\"; break;
      case '\n': text_ += "\\n"; break;
      case '\r': text_ += "\\r"; break;
      case '\t': text_ += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          text_ += escaped;
        } else {
          text_ += c;
        }
    }
  }
  text_ += '"';
}

void JsonWriter::Number(double Value) {
  if (!std::isfinite(Value)) return Null();
  BeforeValue();
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, Value).ptr;
  text_.append(digits, end);
}

void JsonWriter::Integer(long long Value) {
  BeforeValue();
  text_ += std::to_string(Value);
}

void JsonWriter::Bool(bool Value) {
  BeforeValue();
  text_ += Value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  text_ += "null";
}

}  // namespace bench
