// ExactComparison: the base once per picture, the enhancement per strength.
#include "ExactComparison.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace bench {

namespace {

// Sample pixels per picture: their PSNR to the exact filter strays from that
// of every pixel by 0.1 dB (one standard deviation) on the photos measured,
// and a 24-megapixel photo takes about 5 s of CPU time; bench/README.md
// gives the measurements.
constexpr int kSamples = 32768;

}  // namespace

ExactComparison::ExactComparison(const exact::PictureView& Source)
    : source_(Source),
      lattice_(exact::SampleLattice(Source.width, Source.height, kSamples)),
      base_(exact::Base({Source.bytes, Source.width, Source.height, Source.stride}, lattice_)) {}

ExactComparison::Error ExactComparison::Measure(const exact::PictureView& Output, int Strength) const {
  const int columns = lattice_.Columns(source_.width);
  double squares = 0;
  Error error;
  for (std::size_t i = 0; i < base_.size(); ++i) {
    const int column = static_cast<int>(i % columns), row = static_cast<int>(i / columns);
    const int x = lattice_.X(column, row, source_.width), y = lattice_.Y(column, row, source_.height);
    std::uint8_t exact[3];
    exact::EnhancePixel(source_.pixel(x, y), base_[i], Strength, exact);
    const std::uint8_t* got = Output.pixel(x, y);
    for (int c = 0; c < 3; ++c) {
      const int delta = std::abs(got[c] - exact[c]);
      squares += delta * delta;
      error.max_error = std::max(error.max_error, delta);
    }
  }
  if (squares > 0) error.psnr_db = 10 * std::log10(255.0 * 255.0 * 3 * base_.size() / squares);
  return error;
}

}  // namespace bench
