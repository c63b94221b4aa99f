// Stepping with ] and [ through the pictures of a folder, or through those named
// on the command line: name order, the strength and the compare mode kept, the
// view fitted, and a file that fails reported once and stepped over.
#include "WindowFixture.h"

#include "app/PictureSequence.h"
#include "platform/internal/NativeWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>

namespace {

class StepTest : public WindowTest {
 protected:
  // Keys go to the control with the focus, and from it to the window.
  void Press(Qt::Key Which) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : platform::NativeWidget(form->hWnd()), Which);
  }
  std::string Shown() { return form->DestImage.handle() ? std::to_string(form->SrcImage.Width()) : ""; }

  void WriteText(const std::string& Name) {
    QFile file(QString::fromStdString(PathOf(Name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
  }
};

// Pictures are told apart by their widths.
TEST_F(StepTest, StepsThroughTheFolderInNameOrderOverAFileThatFails) {
  WritePicture("img2.bmp", 20, 10);
  WriteText("img10.bmp");
  WritePicture("IMG30.bmp", 30, 10);
  WritePicture("img100.bmp", 800, 600);
  WriteText("notes.txt");
  QDir(folder.path()).mkdir("sub.bmp");
  Open(PathOf("img2.bmp"));
  form->Amount.SetFocus();
  QTest::keyClick(platform::NativeWidget(form->Amount.hWnd()), Qt::Key_Right);
  QTest::keyClick(platform::NativeWidget(form->Amount.hWnd()), Qt::Key_D);
  ASSERT_EQ(Shown(), "20");

  Press(Qt::Key_BracketRight);  // img10.bmp: reported, the picture stays
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Prompt, "不支持的图像格式。");
  EXPECT_EQ(Shown(), "20");
  Press(Qt::Key_BracketRight);
  EXPECT_EQ(Shown(), "30");
  Press(Qt::Key_BracketRight);
  EXPECT_EQ(Shown(), "800");
  // The strength and the compare mode are kept, the view is fitted.
  EXPECT_EQ(LastCall().Strength, 6);
  EXPECT_EQ(form->PicDest.Overlay(), "差异 ×8");
  EXPECT_EQ(View(), QRect(0, 0, 600, 450));

  Press(Qt::Key_BracketRight);  // the last: nothing further
  EXPECT_EQ(Shown(), "800");
  Press(Qt::Key_BracketLeft);
  Press(Qt::Key_BracketLeft);   // over img10.bmp, without a second message
  EXPECT_EQ(Shown(), "20");
  Press(Qt::Key_BracketLeft);
  EXPECT_EQ(Shown(), "20");
  EXPECT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.OpenRequests.size(), 1u);

  // Opening through the dialog shows the result again.
  Open(PathOf("IMG30.bmp"));
  EXPECT_EQ(form->PicDest.Overlay(), "结果");
}

TEST_F(StepTest, StepsThroughThePicturesNamedOnTheCommandLineInTheirOrder) {
  const std::string wide = WritePicture("z.bmp", 40, 10);
  const std::string narrow = WritePicture("a.bmp", 10, 10);
  WritePicture("m.bmp", 25, 10);
  form->OpenFiles({PathOf("missing.bmp"), wide, narrow});
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  Press(Qt::Key_BracketRight);
  EXPECT_EQ(Shown(), "40");
  Press(Qt::Key_BracketRight);
  EXPECT_EQ(Shown(), "10");
  Press(Qt::Key_BracketRight);
  EXPECT_EQ(Shown(), "10");
  Press(Qt::Key_BracketLeft);
  Press(Qt::Key_BracketLeft);
  EXPECT_EQ(Shown(), "40");
  EXPECT_EQ(dialogs.Messages.size(), 1u);
}

TEST(NameOrder, SortsAsPeopleSortFileNames) {
  std::vector<std::string> names = {"b.png", "IMG_10.jpg", "img_9.jpg", "img_010.jpg", "A.bmp",
                                    "img_9a.jpg"};
  std::sort(names.begin(), names.end(), NameOrder);
  EXPECT_EQ(names, (std::vector<std::string>{"A.bmp", "b.png", "img_9.jpg", "img_9a.jpg",
                                             "IMG_10.jpg", "img_010.jpg"}));
}

}  // namespace
