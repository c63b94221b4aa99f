// FailureText: what the user reads when something fails. The headline, in the
// user's language, says what failed and, for the common reasons, why; the detail
// is the platform's own account (the path, the files tried, the system's reason)
// or the library's refusal.
#pragma once

#include <exception>
#include <string>

struct FailureText {
  std::string Headline;
  std::string Detail;
};

// A picture file that could not be opened.
FailureText OpenFailure(const std::exception& Failure);

// A run of the filter that failed; Opening when it was the run of a picture just
// opened, which stays open.
FailureText RunFailure(const std::exception& Failure, bool Opening);

// A result that could not be written.
FailureText SaveFailure(const std::exception& Failure);
