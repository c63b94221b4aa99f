// SecondBuild: the second build's run, its failures and its times.
#include "SecondBuild.h"

#include "FilterResult.h"
#include "ImageCopies.h"
#include "platform/Errors.h"

#include <stdexcept>

std::optional<FailureText> SecondBuild::Run(const Cimage& Source, int Strength) {
  filtered_ = false;
  if (unusable_) return std::nullopt;
  try {
    ResetToSource(result_, Source);
    const EnhancementLibrary::Timed run = library_.Run(result_, Strength);
    CheckFilterResult(run.Status);
    filtered_ = true;
    times_.Add(Strength, run.Time);
  } catch (const platform::LibraryLoadError& Failure) {
    unusable_ = true;
    return FailureText{"无法使用第二个图像处理库，按住 B 时不显示它的结果。", Failure.what()};
  } catch (const std::exception& Failure) {
    return FailureText{"第二个图像处理库的增强失败。", Failure.what()};
  }
  return std::nullopt;
}
