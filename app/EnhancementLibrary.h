// EnhancementLibrary: the external filter library ImageProcessing and its entry
// point DetailEnhancementByBilaterFilter, bound by name at first use, so that the
// program starts without it and finds out only when a picture is to be filtered.
#pragma once

#include "ImageProcessing.h"
#include "imaging/Cimage.h"
#include "platform/SharedLibrary.h"
#include "support/PreciseClock.h"

#include <string>
#include <type_traits>
#include <vector>

class EnhancementLibrary {
 public:
  // Rewrites Stride x Height bytes at Src in place: 24-bit pixels, blue, green,
  // red, rows top-down. Only the refusal codes of the library's header carry a
  // meaning in the result.
  using Filter = int(unsigned char* Src, int Width, int Height, int Stride, int Strength);

  // By default the library is looked for beside the program, then on the
  // system's library search path, where the installed one carries the major
  // version of the interface below in its file name.
  explicit EnhancementLibrary(std::string Name = "ImageProcessing",
                              std::vector<std::string> Folders = DefaultFolders());

  // A build named by the path of its file: that file is bound and no other.
  struct File {
    std::string Path;
  };
  explicit EnhancementLibrary(File Build);

  // The entry point, bound at the first call and kept bound. Throws
  // platform::LibraryLoadError when the library or its entry point is missing.
  Filter* DetailEnhancementByBilaterFilter();

  // Binds the entry point outside the timed interval, so that the time is the
  // filter's alone also on the first run, and runs it on Image in place.
  struct Timed {
    int Status = 0;
    API::MsStamp Time = 0;
  };
  Timed Run(Cimage& Image, int Strength);

  // The full path of the library file in use; empty before the first binding.
  std::string FilePath() const { return library_.FilePath(); }

  // The name of the build's file: the one named by path, or the one bound;
  // empty before a searched build is bound.
  std::string FileName() const;

 private:
  static std::vector<std::string> DefaultFolders();

  platform::SharedLibrary library_;
  std::string path_;  // as named by path; empty for a searched build
  Filter* entry_ = nullptr;
};

static_assert(
    std::is_same_v<EnhancementLibrary::Filter, decltype(::DetailEnhancementByBilaterFilter)>,
    "the entry point is called as the library's header declares it");
