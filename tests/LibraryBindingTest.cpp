// Binding the filter library by name at its first use: where it is looked for,
// in which order, what stays bound, and what the error says when it is missing.
// CTest runs each test in a process of its own, with the second stand-in's folder
// on the library search path: a library once loaded answers later look-ups of
// its name, so the order of the places can only be seen in a fresh process.
#include "FakeProcessing.h"
#include "app/EnhancementLibrary.h"
#include "platform/Errors.h"
#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string PlaceOf(platform::SharedLibrary& Library) {
  return Library.Resolve<const char*()>("FakeProcessingPlace")();
}

TEST(LibraryBinding, NamedFolderComesBeforeTheSearchPath) {
  platform::SharedLibrary library("FakeProcessing", 1, {MORVANE_FAKE_DIR});
  EXPECT_EQ(PlaceOf(library), "folder");
}

TEST(LibraryBinding, SearchPathOffersTheInstalledMajorVersionFirst) {
  platform::SharedLibrary library("FakeProcessing", 1, {"/nonexistent-folder"});
  EXPECT_EQ(PlaceOf(library), "installed");
}

TEST(LibraryBinding, SearchPathServesAnUnversionedBuildWhenNoMajorVersionMatches) {
  platform::SharedLibrary library("FakeProcessing", 2, {"/nonexistent-folder"});
  EXPECT_EQ(PlaceOf(library), "search path");
}

TEST(LibraryBinding, MissingLibraryNamesItselfAndEveryPlaceSearched) {
  platform::SharedLibrary library("NoSuchProcessing", 1, {"/first-folder", "/second-folder"});
  try {
    library.Resolve<void()>("DetailEnhancementByBilaterFilter");
    FAIL() << "a missing library was bound";
  } catch (const platform::LibraryLoadError& Error) {
    const std::string message = Error.what();
    EXPECT_NE(message.find("NoSuchProcessing"), std::string::npos) << message;
    EXPECT_NE(message.find("/first-folder"), std::string::npos) << message;
    EXPECT_NE(message.find("/second-folder"), std::string::npos) << message;
    EXPECT_NE(message.find("library search path"), std::string::npos) << message;
  }
}

TEST(LibraryBinding, MissingEntryPointNamesTheEntryAndTheFile) {
  platform::SharedLibrary library("FakeProcessing", 1, {MORVANE_FAKE_DIR});
  try {
    library.Resolve<void()>("NoSuchEntry");
    FAIL() << "a missing entry point was resolved";
  } catch (const platform::LibraryLoadError& Error) {
    const std::string message = Error.what();
    EXPECT_NE(message.find("NoSuchEntry"), std::string::npos) << message;
    EXPECT_NE(message.find(MORVANE_FAKE_DIR), std::string::npos) << message;
  }
}

// Two builds of one library name, as two --library paths name them: each file
// is bound as itself, though both carry the same name inside.
TEST(LibraryBinding, FilesNamedByPathAreBoundAsThemselves) {
  platform::SharedLibrary first(MORVANE_FAKE_DIR "/libFakeProcessing.so");
  platform::SharedLibrary second(MORVANE_FAKE_SECOND_DIR "/libFakeProcessing.so");
  EXPECT_EQ(PlaceOf(first), "folder");
  EXPECT_EQ(PlaceOf(second), "second");
  EXPECT_EQ(second.FilePath(), MORVANE_FAKE_SECOND_DIR "/libFakeProcessing.so");

  platform::SharedLibrary missing(MORVANE_FAKE_DIR "/libNothing.so");
  try {
    missing.Resolve<void()>("DetailEnhancementByBilaterFilter");
    FAIL() << "a missing file was bound";
  } catch (const platform::LibraryLoadError& Error) {
    EXPECT_EQ(std::string(Error.what()),
              "Cannot load the library file \"" MORVANE_FAKE_DIR
              "/libNothing.so\": cannot open shared object file: No such file or directory");
  }
}

TEST(EnhancementBinding, NothingIsLookedUpBeforeTheFirstCall) {
  EnhancementLibrary library("NoSuchProcessing", {MORVANE_FAKE_DIR});
  EXPECT_THROW(library.DetailEnhancementByBilaterFilter(), platform::LibraryLoadError);
}

TEST(EnhancementBinding, StaysBoundOnceFoundAndReachesTheLibrary) {
  EnhancementLibrary library("FakeProcessing", {MORVANE_FAKE_DIR});
  EnhancementLibrary::Filter* const filter = library.DetailEnhancementByBilaterFilter();
  EXPECT_EQ(library.DetailEnhancementByBilaterFilter(), filter);
  unsigned char pixel[4] = {1, 2, 3, 9};
  filter(pixel, 1, 1, 4, 5);
  EXPECT_EQ(pixel[0], 6);
  EXPECT_EQ(pixel[2], 8);
  EXPECT_EQ(pixel[3], 9);
}

TEST(EnhancementBinding, ByDefaultTheFilterLibraryIsFoundInTheProgramsFolder) {
  EnhancementLibrary library;
  EXPECT_NE(library.DetailEnhancementByBilaterFilter(), nullptr);
}

}  // namespace
