// Saving the result: full resolution, the file name and its ".bmp", the
// questions before a file is replaced, and failures that leave the window working.
#include "WindowFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

using SaveTest = WindowTest;

std::vector<std::uint8_t> SavedPixels(const std::string& Path) {
  return platform::LoadPicture(Path)->Pixels();
}

QByteArray Contents(const std::string& Path) {
  QFile file(QString::fromStdString(Path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteText(const std::string& Path, const char* Text) {
  QFile file(QString::fromStdString(Path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Text);
}

TEST_F(SaveTest, AsksForABmpNameSuggestingThePicturesNameWithTheStrength) {
  Open(WritePicture("photo.v2.bmp", 30, 20));
  PressKey(form->Amount, Qt::Key_Right);
  Click(form->CmdSave);
  ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
  EXPECT_EQ(dialogs.SaveRequests[0].Owner, form->hWnd());
  EXPECT_EQ(dialogs.SaveRequests[0].Filter, "BMP Images|*.bmp");
  EXPECT_EQ(dialogs.SaveRequests[0].Title, "保存图像");
  EXPECT_EQ(dialogs.SaveRequests[0].InitialDir, "");
  EXPECT_EQ(dialogs.SaveRequests[0].FileName, "photo.v2_s6.bmp");
}

TEST_F(SaveTest, CancellingWritesNothingAndLeavesTheSurfaceAlone) {
  Open(WritePicture("p.bmp", 30, 20));
  Click(form->CmdSave);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 1);
  EXPECT_EQ(form->PicTemp.Left(), 934);
  EXPECT_EQ(form->PicTemp.Width(), 79);
}

TEST_F(SaveTest, AppendsBmpOnlyWhenTheNameLacksIt) {
  Open(WritePicture("p.bmp", 30, 20));
  Save(PathOf("plain"));
  Save(PathOf("upper.BMP"));
  EXPECT_EQ(SavedPixels(PathOf("plain.bmp")), PixelsOf(form->DestImage).Bytes);
  EXPECT_EQ(SavedPixels(PathOf("upper.BMP")), PixelsOf(form->DestImage).Bytes);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(PathOf("upper.BMP.bmp"))));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(SaveTest, AsksBeforeReplacingAFileTheDialogNeverSaw) {
  Open(WritePicture("p.bmp", 30, 20));
  WriteText(PathOf("kept.bmp"), "keep me");

  dialogs.BoxAnswers.push_back(platform::MsgBoxResult::No);
  Save(PathOf("kept"));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_NE(dialogs.Messages[0].Prompt.find(PathOf("kept.bmp")), std::string::npos);
  EXPECT_EQ(Contents(PathOf("kept.bmp")), "keep me");

  dialogs.BoxAnswers.push_back(platform::MsgBoxResult::Yes);
  Save(PathOf("kept"));
  EXPECT_EQ(SavedPixels(PathOf("kept.bmp")), PixelsOf(form->DestImage).Bytes);
}

TEST_F(SaveTest, NameTheDialogConfirmedIsReplacedWithoutAnotherQuestion) {
  Open(WritePicture("p.bmp", 30, 20));
  WriteText(PathOf("confirmed.bmp"), "old");
  Save(PathOf("confirmed.bmp"));
  EXPECT_TRUE(dialogs.Messages.empty());
  EXPECT_EQ(SavedPixels(PathOf("confirmed.bmp")), PixelsOf(form->DestImage).Bytes);
}

TEST_F(SaveTest, NothingLoadedWritesNoFileAndSaysSo) {
  dialogs.SaveAnswers.push_back(PathOf("nothing"));
  Click(form->CmdSave);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_TRUE(dialogs.SaveRequests.empty());
  EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

// A run refused at the strength now set leaves the unfiltered source in the
// result's place: saving is refused, and the file of that name stays as it was.
TEST_F(SaveTest, ResultTheFilterRefusedAtThisStrengthIsNotSaved) {
  Open(WritePicture("p.bmp", 30, 20));
  WriteText(PathOf("kept.bmp"), "keep me");
  FakeGivesResult(-5);
  PressKey(form->Amount, Qt::Key_Right);
  ASSERT_EQ(dialogs.Messages.size(), 1u);

  Save(PathOf("kept.bmp"));
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_NE(dialogs.Messages[1].Prompt.find("没有可保存的增强结果"), std::string::npos);
  EXPECT_NE(dialogs.Messages[1].Detail.find("错误码 -5"), std::string::npos)
      << dialogs.Messages[1].Detail;
  EXPECT_TRUE(dialogs.SaveRequests.empty());
  EXPECT_EQ(Contents(PathOf("kept.bmp")), "keep me");

  FakeGivesResult(0);
  PressKey(form->Amount, Qt::Key_Left);
  Save(PathOf("kept.bmp"));
  EXPECT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_EQ(SavedPixels(PathOf("kept.bmp")), PixelsOf(form->DestImage).Bytes);
  EXPECT_TRUE(PixelsOf(form->SrcImage).RegionEquals(PixelsOf(form->DestImage), 0, 0, 30, 20, 5));
}

TEST_F(SaveTest, FailureShowsItsOwnTextAndTheWindowGoesOn) {
  Open(WritePicture("p.bmp", 30, 20));
  const std::string unwritable = PathOf("no-such-folder/result");
  Save(unwritable);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Prompt, "无法保存图像：文件或文件夹不存在。");
  EXPECT_EQ(dialogs.Messages[0].Style, platform::MsgBoxStyle::Critical);
  EXPECT_NE(dialogs.Messages[0].Detail.find(unwritable + ".bmp"), std::string::npos)
      << dialogs.Messages[0].Detail;

  Save(PathOf("result"));
  EXPECT_EQ(SavedPixels(PathOf("result.bmp")), PixelsOf(form->DestImage).Bytes);
}

class RealLibraryTest : public WindowTest {
 protected:
  RealLibraryTest()
      : WindowTest("ImageProcessing", {QCoreApplication::applicationDirPath().toStdString()}) {}
};

TEST_F(RealLibraryTest, SavesTheFullResolutionResultAsTheLibraryMadeIt) {
  Open(WritePicture("wide.bmp", 1280, 720));
  ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.Messages[0].Prompt;
  EXPECT_EQ(View(),
            QRect(0, 56, 600, 338));

  Pixels expected = PixelsOf(form->SrcImage);
  library.DetailEnhancementByBilaterFilter()(expected.Bytes.data(), 1280, 720, expected.Stride(),
                                             form->Amount.Value());
  ASSERT_NE(expected.Bytes, PixelsOf(form->SrcImage).Bytes);

  Save(PathOf("wide-result"));
  const auto saved = platform::LoadPicture(PathOf("wide-result.bmp"));
  EXPECT_EQ(saved->PixelWidth(), 1280);
  EXPECT_EQ(saved->PixelHeight(), 720);
  EXPECT_EQ(saved->Pixels(), expected.Bytes);
  EXPECT_FALSE(form->PicTemp.Visible());
}

}  // namespace
