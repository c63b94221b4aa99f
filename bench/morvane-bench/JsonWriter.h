// JsonWriter: JSON text written value by value, indented for people to read;
// numbers in the shortest form that reads back exactly, null for the
// non-finite ones JSON cannot hold.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace bench {

class JsonWriter {
 public:
  void BeginObject() { Open('{', false); }
  void EndObject() { Close('}'); }
  // OneLine: the values go on one line, for short arrays of numbers.
  void BeginArray(bool OneLine = false) { Open('[', OneLine); }
  void EndArray() { Close(']'); }
  // The key of the next value inside an object.
  void Key(std::string_view Name);

  void String(std::string_view Text);
  void Number(double Value);
  void Integer(long long Value);
  void Bool(bool Value);
  void Null();
  template <typename T>
  void Optional(const std::optional<T>& Value) {
    if (!Value) return Null();
    if constexpr (std::is_same_v<T, bool>) Bool(*Value);
    else if constexpr (std::is_integral_v<T>) Integer(*Value);
    else Number(*Value);
  }

  const std::string& Text() const { return text_; }

 private:
  void Open(char Bracket, bool OneLine);
  void Close(char Bracket);
  void BeforeValue();
  void Quoted(std::string_view Text);
  void NewLine();

  std::string text_;
  struct Level {
    bool empty = true;  // nothing in it yet
    bool one_line = false;
  };
  std::vector<Level> levels_;  // per open bracket
  bool after_key_ = false;
};

}  // namespace bench
