// FilterResult: the documented refusal codes and what each tells the user.
#include "FilterResult.h"

#include "ImageProcessing.h"

#include <string>

namespace {

const char* RefusalName(int Result) {
  switch (Result) {
    case IMAGEPROCESSING_ERROR_NULL_POINTER:
      return "图像数据地址为空";
    case IMAGEPROCESSING_ERROR_BAD_SIZE:
      return "图像尺寸无效";
    case IMAGEPROCESSING_ERROR_BAD_STRIDE:
      return "图像行宽无效";
    case IMAGEPROCESSING_ERROR_TOO_LARGE:
      return "图像过大";
    case IMAGEPROCESSING_ERROR_OUT_OF_MEMORY:
      return "内存不足";
    case IMAGEPROCESSING_ERROR_INTERNAL:
      return "处理库内部错误";
    default:
      return nullptr;
  }
}

}  // namespace

void CheckFilterResult(int Result) {
  if (const char* name = RefusalName(Result)) {
    throw FilterRefusal(std::string("图像处理库拒绝了这次增强：") + name + "（错误码 " +
                             std::to_string(Result) + "）。");
  }
}
