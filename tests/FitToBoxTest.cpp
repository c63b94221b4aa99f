// Fitting pictures into the 600 x 450 display box, and the limits of the fit.
#include "support/FitToBox.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <tuple>

namespace {

struct Fit {
  int Left, Top, Width, Height;
  bool operator==(const Fit&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Fit& f) {
  return os << f.Left << ", " << f.Top << ", " << f.Width << ", " << f.Height;
}

Fit FitInto(int ImageWidth, int ImageHeight, int BoxWidth = 600, int BoxHeight = 450) {
  Fit f{-99, -99, -99, -99};
  API::FitToBox(ImageWidth, ImageHeight, BoxWidth, BoxHeight, f.Left, f.Top, f.Width, f.Height);
  return f;
}

struct Row {
  int ImageWidth, ImageHeight;
  Fit Expected;
};

// Names the row in gtest's output instead of dumping its bytes.
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.ImageWidth << " x " << row.ImageHeight << " -> " << row.Expected;
}

class FitToBoxTable : public ::testing::TestWithParam<Row> {};

TEST_P(FitToBoxTable, GivesTheDisplayRectangle) {
  const Row& row = GetParam();
  EXPECT_EQ(FitInto(row.ImageWidth, row.ImageHeight), row.Expected)
      << row.ImageWidth << " x " << row.ImageHeight;
}

INSTANTIATE_TEST_SUITE_P(
    Box600x450, FitToBoxTable,
    ::testing::Values(Row{600, 450, {0, 0, 600, 450}},    // fits exactly
                      Row{300, 200, {150, 125, 300, 200}},  // centred, not enlarged
                      Row{301, 200, {149, 125, 301, 200}},  // odd leftover truncates
                      Row{800, 600, {0, 0, 600, 450}},      // equal ratios: height side
                      Row{1280, 720, {0, 56, 600, 338}},    // 337.5 + 0.5
                      Row{601, 450, {0, 0, 600, 450}},      // 449.25 rounds up
                      Row{600, 451, {0, 0, 599, 450}},      // 598.67 rounds up
                      Row{1000, 700, {0, 15, 600, 420}},    // 420.5 to even
                      Row{1000, 705, {0, 13, 600, 424}},    // 423.5 to even
                      Row{500, 900, {175, 0, 250, 450}},    // 250.5 to even
                      Row{501, 900, {174, 0, 251, 450}},    // 251.0 stays
                      Row{3000, 4000, {131, 0, 338, 450}},  // height side
                      Row{1168, 876, {0, 0, 601, 450}}));   // one pixel over the box

TEST(FitToBox, ZeroSidesLoseTheComparisonInsteadOfDividingByZero) {
  EXPECT_EQ(FitInto(0, 0), (Fit{300, 225, 0, 0}));
  EXPECT_EQ(FitInto(0, 900), (Fit{300, 0, 0, 450}));
  EXPECT_EQ(FitInto(1200, 0), (Fit{0, 225, 600, 0}));
}

TEST(FitToBox, ServesBoxesUpTo32766PixelsAndRefusesLargerScaledSides) {
  EXPECT_EQ(FitInto(65532, 2, 32766, 32766), (Fit{0, 16382, 32766, 2}));
  EXPECT_THROW(FitInto(80000, 79000, 40000, 40000), std::overflow_error);  // 39500 tall
}

}  // namespace
