// FilterResult: what the window makes of the filter library's result. The codes
// that the library's header documents are refusals; any other value carries no
// meaning, since a library built elsewhere may return anything.
#pragma once

// Throws std::runtime_error naming the refusal and its code, in the user's
// language, when Result is one of the documented refusal codes.
void CheckFilterResult(int Result);
