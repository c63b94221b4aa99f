// ResultCodes from ImageProcessing.h's enumeration.
#include "ResultCodes.h"

#include "ImageProcessing.h"

namespace bench {

std::string ResultName(int Result) {
  switch (Result) {
    case IMAGEPROCESSING_OK: return "IMAGEPROCESSING_OK";
    case IMAGEPROCESSING_ERROR_NULL_POINTER: return "IMAGEPROCESSING_ERROR_NULL_POINTER";
    case IMAGEPROCESSING_ERROR_BAD_SIZE: return "IMAGEPROCESSING_ERROR_BAD_SIZE";
    case IMAGEPROCESSING_ERROR_BAD_STRIDE: return "IMAGEPROCESSING_ERROR_BAD_STRIDE";
    case IMAGEPROCESSING_ERROR_TOO_LARGE: return "IMAGEPROCESSING_ERROR_TOO_LARGE";
    case IMAGEPROCESSING_ERROR_OUT_OF_MEMORY: return "IMAGEPROCESSING_ERROR_OUT_OF_MEMORY";
    case IMAGEPROCESSING_ERROR_INTERNAL: return "IMAGEPROCESSING_ERROR_INTERNAL";
  }
  return {};
}

std::string DescribeResult(int Result) {
  const std::string name = ResultName(Result);
  if (name.empty()) return "an unknown result " + std::to_string(Result);
  return name + " (" + std::to_string(Result) + ")";
}

}  // namespace bench
