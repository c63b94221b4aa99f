// FailureText: the headlines for each kind of failure, the common system reasons
// worded in Chinese.
#include "FailureText.h"

#include "platform/Errors.h"

using platform::FileProblem;

namespace {

// Empty for the reasons the detail alone can say.
std::string ReasonText(FileProblem Problem) {
  switch (Problem) {
    case FileProblem::NotFound:
      return "文件或文件夹不存在";
    case FileProblem::NoPermission:
      return "没有访问该文件的权限";
    case FileProblem::IsFolder:
      return "这是一个文件夹，不是文件";
    case FileProblem::Empty:
      return "文件是空的";
    case FileProblem::NoSpace:
      return "磁盘空间不足";
    case FileProblem::TooLarge:
      return "图像太大";
    case FileProblem::NotAPicture:
    case FileProblem::Other:
      break;
  }
  return {};
}

FileProblem ProblemOf(const std::exception& Failure) {
  const auto* file = dynamic_cast<const platform::FileProblemError*>(&Failure);
  return file != nullptr ? file->Problem() : FileProblem::Other;
}

std::string Headline(const std::string& What, FileProblem Problem) {
  const std::string reason = ReasonText(Problem);
  return reason.empty() ? What + "。" : What + "：" + reason + "。";
}

}  // namespace

FailureText OpenFailure(const std::exception& Failure) {
  const FileProblem problem = ProblemOf(Failure);
  if (problem == FileProblem::NotAPicture) return {"不支持的图像格式。", Failure.what()};
  return {Headline("无法打开图像", problem), Failure.what()};
}

FailureText RunFailure(const std::exception& Failure, bool Opening) {
  if (dynamic_cast<const platform::LibraryLoadError*>(&Failure) != nullptr) {
    return {Opening ? "图像已打开，但无法使用图像处理库。" : "无法使用图像处理库。",
            Failure.what()};
  }
  return {Opening ? "图像已打开，但增强失败。" : "图像增强失败。", Failure.what()};
}

FailureText SaveFailure(const std::exception& Failure) {
  return {Headline("无法保存图像", ProblemOf(Failure)), Failure.what()};
}
