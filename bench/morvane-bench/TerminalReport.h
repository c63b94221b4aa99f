// TerminalReport: the run on the terminal: the machine and the builds, one
// row per picture and strength (size, each build's median and fastest call,
// B/A with its interquartile range, how the outputs differ, the PSNR to the
// exact filter), the edge shapes in one line, and the run's warnings.
#pragma once

#include "Results.h"

#include <string>

namespace bench {

std::string TerminalReport(const Report& Report, const std::string& Version);

// Shared with the HTML report: "0.231 ms", "1.94 (1.90-1.99)", "identical" or
// "12 px (0.01 %), max 1/1/1, 67.3 dB, at 10,5 10x10".
std::string FormatMs(double Ms);
std::string FormatRatio(const PairResult& Pair);
std::string FormatDifference(const PairResult& Pair);
std::string FormatExact(const CaseResult& Case);
std::string FormatLoad(const std::array<double, 3>& Load);
// What went wrong with a case in a few words, or empty.
std::string FormatTrouble(const CaseResult& Case);

}  // namespace bench
