// FilterResult: what the window makes of the filter library's result. The codes
// that the library's header documents are refusals; any other value carries no
// meaning, since a library built elsewhere may return anything.
#pragma once

#include <stdexcept>

// The library declined the run; what() names the refusal and its code in the
// user's language.
class FilterRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws FilterRefusal when Result is one of the documented refusal codes.
void CheckFilterResult(int Result);
