// ExactComparison: a build's output held to the exact filter (the filter's
// definition in double precision, exact_filter.h) on a lattice of sample
// pixels: enough of them that the PSNR is stable to about 0.2 dB, few enough
// that a 24-megapixel photo takes a few seconds. Meaningful only for builds
// that implement this definition.
#pragma once

#include "Difference.h"
#include "exact_filter.h"

#include <optional>
#include <vector>

namespace bench {

class ExactComparison {
 public:
  // Computes the exact base at every sample pixel of Source, which must stay
  // valid for as long as this object is used.
  explicit ExactComparison(const exact::PictureView& Source);

  struct Error {
    std::optional<double> psnr_db;  // none when every sample is exact
    int max_error = 0;              // the largest byte difference
  };
  // Output must have Source's width and height.
  Error Measure(const exact::PictureView& Output, int Strength) const;

  int Samples() const { return static_cast<int>(base_.size()); }

 private:
  exact::PictureView source_;
  exact::Lattice lattice_;
  std::vector<double> base_;
};

}  // namespace bench
