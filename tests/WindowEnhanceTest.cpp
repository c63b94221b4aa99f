// The enhancement run on every change of the strength bar: always from the
// unenhanced source, the value and time captions, and a missing library.
#include "WindowFixture.h"

#include "platform/Files.h"
#include "platform/internal/NativeWidget.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using EnhanceTest = WindowTest;

TEST_F(EnhanceTest, EveryRunStartsFromTheUnenhancedSource) {
  Open(WritePicture("p.bmp", 300, 200));
  const std::uint64_t source_hash = LastCall().InputHash;
  const Pixels at_five = Result();

  PressKey(form->Amount, Qt::Key_Right);
  EXPECT_EQ(LastCall().Strength, 6);
  EXPECT_EQ(LastCall().InputHash, source_hash);
  EXPECT_TRUE(Source().RegionEquals(Result(), 150, 125, 300, 200, 6));

  PressKey(form->Amount, Qt::Key_Left);
  EXPECT_EQ(LastCall().Calls, 3);
  EXPECT_EQ(LastCall().Strength, 5);
  EXPECT_EQ(LastCall().InputHash, source_hash);
  EXPECT_EQ(Result().Bytes, at_five.Bytes);
}

TEST_F(EnhanceTest, ValueLabelShowsTheBarInPlainDigits) {
  Open(WritePicture("p.bmp", 30, 20));
  PressKey(form->Amount, Qt::Key_Home);
  EXPECT_EQ(form->LblB[1].Caption(), "0");
  EXPECT_EQ(LastCall().Strength, 0);
  PressKey(form->Amount, Qt::Key_PageDown);
  EXPECT_EQ(form->LblB[1].Caption(), "2");
  EXPECT_EQ(LastCall().Strength, 2);
}

TEST_F(EnhanceTest, TimeCaptionHasAtMostFourDecimalsAndNoTrailingZeros) {
  Open(WritePicture("p.bmp", 300, 200));
  const std::string caption = form->lblinfo.Caption();
  const std::string prefix = "用时 ";
  ASSERT_EQ(caption.compare(0, prefix.size(), prefix), 0) << caption;
  const QRegularExpression time(R"(^(0|[1-9][0-9]*)([.,][0-9]{0,3}[1-9])? ms$)");
  EXPECT_TRUE(time.match(QString::fromStdString(caption.substr(prefix.size()))).hasMatch())
      << caption;
}

TEST_F(EnhanceTest, TimeTooltipCountsTheRunsOfThisPictureAndStrengthAndNamesTheLibraryFile) {
  Open(WritePicture("p.bmp", 300, 200));
  PressKey(form->Amount, Qt::Key_Right);
  PressKey(form->Amount, Qt::Key_Left);
  PressKey(form->Amount, Qt::Key_Right);
  PressKey(form->Amount, Qt::Key_Left);
  const QString details = QString::fromStdString(form->lblinfo.ToolTip());
  const QRegularExpression runs(R"(强度 5 下运行 3 次：最短 ([0-9]+(?:[.,][0-9]+)?) ms，中位数 ([0-9]+(?:[.,][0-9]+)?) ms)");
  const QRegularExpressionMatch match = runs.match(details);
  ASSERT_TRUE(match.hasMatch()) << details.toStdString();
  EXPECT_LE(match.captured(1).replace(',', '.').toDouble(),
            match.captured(2).replace(',', '.').toDouble());
  EXPECT_TRUE(details.contains("300 × 200")) << details.toStdString();
  EXPECT_TRUE(details.contains(MORVANE_FAKE_DIR "/libFakeProcessing.so")) << details.toStdString();

  Open(WritePicture("q.bmp", 30, 20));
  EXPECT_TRUE(QString::fromStdString(form->lblinfo.ToolTip()).contains("强度 5 下运行 1 次"));
}

TEST_F(EnhanceTest, ChangeBeforeAnyPictureOnlyUpdatesTheValueLabel) {
  const Pixels blank = Result();
  PressKey(form->Amount, Qt::Key_Right);
  EXPECT_EQ(form->LblB[1].Caption(), "6");
  EXPECT_EQ(form->lblinfo.Caption(), "信息：");
  EXPECT_EQ(LastCall().Calls, 0);
  EXPECT_EQ(Result().Bytes, blank.Bytes);
}

TEST_F(EnhanceTest, ResultWithoutAMatchingCopyIsMadeAnewBeforeFiltering) {
  Open(WritePicture("p.bmp", 300, 200));
  form->DestImage.DisposeResource();
  PressKey(form->Amount, Qt::Key_Right);

  ASSERT_NE(form->DestImage.handle(), nullptr);
  EXPECT_EQ(form->DestImage.Width(), 300);
  EXPECT_EQ(form->DestImage.Height(), 200);
  EXPECT_EQ(LastCall().Src, form->DestImage.Pointer());
  EXPECT_TRUE(Source().RegionEquals(Result(), 150, 125, 300, 200, 6));
  EXPECT_TRUE(dialogs.Messages.empty());
}

// The result of the strength before is not left in the box as if it were this
// strength's: the box is cleared and says so.
TEST_F(EnhanceTest, DocumentedRefusalsFailTheRunAndClearTheResultBox) {
  Open(WritePicture("p.bmp", 300, 200));
  const std::string time = form->lblinfo.Caption();

  for (int code = -6; code <= -1; ++code) {
    FakeGivesResult(code);
    PressKey(form->Amount, code % 2 == 0 ? Qt::Key_Right : Qt::Key_Left);
    ASSERT_EQ(dialogs.Messages.size(), static_cast<std::size_t>(code + 7));
    const ScriptedDialogs::Message& message = dialogs.Messages.back();
    EXPECT_EQ(message.Prompt, "图像增强失败。");
    EXPECT_EQ(message.Style, platform::MsgBoxStyle::Critical);
    EXPECT_NE(message.Detail.find("（错误码 " + std::to_string(code) + "）"), std::string::npos)
        << message.Detail;
    EXPECT_EQ(form->lblinfo.Caption(), time);
    EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
    EXPECT_EQ(form->PicDest.Overlay(), "无结果");
  }
  EXPECT_NE(dialogs.Messages[1].Detail.find("内存不足"), std::string::npos);
}

TEST_F(EnhanceTest, RefusalWhileOpeningIsTheOpensMessageAndOtherResultsAreNotRead) {
  FakeGivesResult(-5);
  Open(WritePicture("p.bmp", 300, 200));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Prompt, "图像已打开，但增强失败。");
  EXPECT_NE(dialogs.Messages[0].Detail.find("内存不足（错误码 -5）"), std::string::npos)
      << dialogs.Messages[0].Detail;
  EXPECT_EQ(form->lblinfo.Caption(), "信息：");

  FakeGivesResult(42);
  PressKey(form->Amount, Qt::Key_Right);
  EXPECT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(form->lblinfo.Caption().rfind("用时 ", 0), 0u) << form->lblinfo.Caption();
  EXPECT_TRUE(Source().RegionEquals(Result(), 150, 125, 300, 200, 6));
}

class MissingLibraryTest : public WindowTest {
 protected:
  MissingLibraryTest() : WindowTest("NoSuchProcessing", {MORVANE_FAKE_DIR}) {}
};

int Occurrences(const std::string& Text, const std::string& Part) {
  int count = 0;
  for (auto at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1)) ++count;
  return count;
}

// Every file tried, once each, with the loader's reason.
void ExpectNamesTheMissingLibrary(const ScriptedDialogs::Message& Message) {
  EXPECT_EQ(Message.Style, platform::MsgBoxStyle::Critical);
  for (const char* tried : {"\"" MORVANE_FAKE_DIR "/libNoSuchProcessing.so\": ",
                            "\nlibNoSuchProcessing.so.1 on the system's library search path: ",
                            "\nlibNoSuchProcessing.so on the system's library search path: "}) {
    EXPECT_EQ(Occurrences(Message.Detail, tried), 1) << Message.Detail;
  }
  EXPECT_EQ(Occurrences(Message.Detail, MORVANE_FAKE_DIR), 1) << Message.Detail;
}

TEST_F(MissingLibraryTest, OpenGivesItsMessageAndALaterChangeShowsTheErrorAndGoesOn) {
  Open(WritePicture("p.bmp", 300, 200));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Prompt, "图像已打开，但无法使用图像处理库。");
  ExpectNamesTheMissingLibrary(dialogs.Messages[0]);
  const Pixels picture = PixelsOf(form->SrcImage);
  EXPECT_TRUE(std::equal(picture.At(0, 0), picture.At(0, 0) + 3, Source().At(150, 125)));
  EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
  EXPECT_EQ(form->lblinfo.Caption(), "信息：");

  PressKey(form->Amount, Qt::Key_Right);
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_EQ(dialogs.Messages[1].Prompt, "无法使用图像处理库。");
  ExpectNamesTheMissingLibrary(dialogs.Messages[1]);
  EXPECT_EQ(form->LblB[1].Caption(), "6");

  // The unfiltered copy in the result's place is not saved as if it were the result.
  Save(PathOf("unfiltered"));
  ASSERT_EQ(dialogs.Messages.size(), 3u);
  EXPECT_NE(dialogs.Messages[2].Prompt.find("没有可保存的增强结果"), std::string::npos);
  EXPECT_NE(dialogs.Messages[2].Detail.find("NoSuchProcessing"), std::string::npos)
      << dialogs.Messages[2].Detail;
  EXPECT_TRUE(dialogs.SaveRequests.empty());
  EXPECT_FALSE(platform::FileExists(PathOf("unfiltered.bmp")));
  EXPECT_FALSE(platform::FileExists(PathOf("unfiltered")));
}

// A held arrow repeats; the box that the first step puts up must not be
// joined by more while the person reads it.
TEST_F(MissingLibraryTest, HoldingTheArrowGivesOneMessageAndOneStep) {
  Open(WritePicture("p.bmp", 30, 20));
  dialogs.BoxOpenMs = 800;
  QWidget* bar = platform::NativeWidget(form->Amount.hWnd());
  const QPoint arrow(bar->width() - bar->height() / 2, bar->height() / 2);
  QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);

  EXPECT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_EQ(form->Amount.Value(), 6);
  EXPECT_EQ(form->LblB[1].Caption(), "6");
}

}  // namespace
