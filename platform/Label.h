// Label: a caption that sizes itself to its text, keeping its left edge.
#pragma once

#include "Form.h"

#include <string>

namespace platform {

class Label : public Window {
 public:
  Label(Form& Parent, int Left, int Top, const std::string& Caption);

  std::string Caption() const;
  void SetCaption(const std::string& Caption);
};

}  // namespace platform
