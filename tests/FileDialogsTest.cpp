// The open and save dialogs over the platform's widget-based file dialog: the
// filter list, the title, the overwrite question, cancel, and paths that come
// back whole whatever their length.
#include "platform/Errors.h"
#include "platform/internal/NativeWidget.h"
#include "support/FileDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr char kOpenFilter[] =
    "All Suppported Images |*.bmp;*.jpg;|BMP Images|*.bmp|JPG Images|*.jpg";

// Acts on the next modal dialog from inside its own event loop.
void WhenTheDialogOpens(std::function<void(QFileDialog*)> Act) {
  QTimer::singleShot(0, [Act] { Act(qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); });
}

void Choose(QFileDialog* Dialog, const QString& Path) {
  ASSERT_NE(Dialog, nullptr);
  Dialog->selectFile(Path);
  static_cast<QDialog*>(Dialog)->accept();
}

class FileDialogsTest : public ::testing::Test {
 protected:
  QString PathOf(const QString& Name) const { return folder.filePath(Name); }

  QTemporaryDir folder;
};

TEST_F(FileDialogsTest, OpenDialogShowsTheFilterPairsAndTitleAndReturnsTheChoice) {
  QStringList filters;
  QString title;
  bool widget_based = false;
  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    ASSERT_NE(Dialog, nullptr);
    filters = Dialog->nameFilters();
    title = Dialog->windowTitle();
    widget_based = Dialog->testOption(QFileDialog::DontUseNativeDialog);
    Choose(Dialog, PathOf("photo.jpg"));
  });
  // The open dialog takes the name of a file that does not exist; loading finds out.
  EXPECT_EQ(API::ShowOpenDialog(nullptr, kOpenFilter, "选择图像"), PathOf("photo.jpg").toStdString());
  EXPECT_EQ(filters, QStringList({"All Suppported Images (*.bmp *.jpg)", "BMP Images (*.bmp)",
                                  "JPG Images (*.jpg)"}));
  EXPECT_EQ(title, "选择图像");
  EXPECT_TRUE(widget_based);
}

TEST_F(FileDialogsTest, CancelGivesAnEmptyTextAndLeavesTheFilterIndex) {
  WhenTheDialogOpens([](QFileDialog* Dialog) { Dialog->reject(); });
  EXPECT_EQ(API::ShowOpenDialog(nullptr, kOpenFilter, "选择图像"), "");

  std::int16_t index = 0;
  WhenTheDialogOpens([](QFileDialog* Dialog) { Dialog->reject(); });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index), "");
  EXPECT_EQ(index, 0);
}

TEST_F(FileDialogsTest, SaveDialogAddsTheFirstPatternsSuffixAndGivesTheSelectedPair) {
  std::int16_t index = 0;
  WhenTheDialogOpens([&](QFileDialog* Dialog) { Choose(Dialog, PathOf("result")); });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index),
            PathOf("result.bmp").toStdString());
  EXPECT_EQ(index, 1);

  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    Dialog->selectNameFilter("JPG Images (*.jpg)");
    Choose(Dialog, PathOf("second.bmp"));
  });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp|JPG Images|*.jpg", "保存图像", index),
            PathOf("second.bmp").toStdString());
  EXPECT_EQ(index, 2);
}

TEST_F(FileDialogsTest, SaveDialogSuggestsTheGivenNameInTheGivenFolder) {
  std::int16_t index = 0;
  WhenTheDialogOpens([](QFileDialog* Dialog) {
    ASSERT_NE(Dialog, nullptr);
    static_cast<QDialog*>(Dialog)->accept();
  });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index,
                                folder.path().toStdString(), "photo_s5.bmp"),
            PathOf("photo_s5.bmp").toStdString());
}

TEST_F(FileDialogsTest, SaveDialogAsksAboutTheFileThatWillBeWrittenNotTheNameTyped) {
  for (const char* name : {"d", "d.bmp"}) {
    QFile existing(PathOf(name));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  }
  QString question_text;
  std::int16_t index = 0;
  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    QTimer::singleShot(0, [&] {
      auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (question == nullptr) return;
      question_text = question->text();
      question->button(QMessageBox::Yes)->click();
    });
    Choose(Dialog, PathOf("d"));
  });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index),
            PathOf("d.bmp").toStdString());
  EXPECT_TRUE(question_text.contains("d.bmp")) << question_text.toStdString();
}

TEST_F(FileDialogsTest, ANameTheDialogCannotShowAsItIsIsRefusedNotMappedOntoAnother) {
  // The dialog shows a name with the bytes 0xfe or 0xff as U+FFFD, which is also the
  // real name of this file.
  const QString shown = QString(QChar::ReplacementCharacter) + ".bmp";
  QFile other(PathOf(shown));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.close();
  WhenTheDialogOpens([&](QFileDialog* Dialog) { Choose(Dialog, PathOf(shown)); });
  EXPECT_THROW(API::ShowOpenDialog(nullptr, kOpenFilter, "选择图像"), platform::FileError);
  std::int16_t index = 0;
  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    QTimer::singleShot(0, [] {
      auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (question != nullptr) question->button(QMessageBox::Yes)->click();
    });
    Choose(Dialog, PathOf(shown));
  });
  EXPECT_THROW(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index),
               platform::FileError);
}

TEST_F(FileDialogsTest, SaveDialogAsksBeforeAnExistingFileIsChosen) {
  QFile existing(PathOf("old.bmp"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  bool asked = false;
  std::int16_t index = 0;
  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    QTimer::singleShot(0, [&] {
      auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      asked = question != nullptr;
      if (asked) question->button(QMessageBox::Yes)->click();
    });
    Choose(Dialog, PathOf("old.bmp"));
  });
  EXPECT_EQ(API::ShowSaveDialog(nullptr, "BMP Images|*.bmp", "保存图像", index),
            PathOf("old.bmp").toStdString());
  EXPECT_TRUE(asked);
}

TEST_F(FileDialogsTest, LongPathsComeBackWhole) {
  QString deep = folder.path();
  for (int i = 0; i < 6; ++i) deep += '/' + QString(50, QChar('a' + i));
  ASSERT_TRUE(QDir().mkpath(deep));
  const QString path = deep + "/picture.bmp";
  ASSERT_GT(path.toUtf8().size(), 300);
  WhenTheDialogOpens([&](QFileDialog* Dialog) { Choose(Dialog, path); });
  EXPECT_EQ(API::ShowOpenDialog(nullptr, kOpenFilter, "选择图像"), path.toStdString());
}

TEST_F(FileDialogsTest, EmptyPatternPiecesAreDropped) {
  QStringList filters;
  WhenTheDialogOpens([&](QFileDialog* Dialog) {
    filters = Dialog->nameFilters();
    Dialog->reject();
  });
  API::ShowOpenDialog(nullptr, "Pictures|;*.png;;*.gif;|Odd", "t");
  EXPECT_EQ(filters, QStringList({"Pictures (*.png *.gif)"}));
}

}  // namespace
