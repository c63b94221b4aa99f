// Two builds of the filter named by path, as morvane --library A --library B
// binds them: the first is the result and what is saved, the second runs beside
// it on the same source and shows in the right box while B is held; a second
// build that cannot be used is said once, and the first goes on.
#include "WindowFixture.h"

#include "platform/internal/NativeWidget.h"

#include <QTest>

namespace {

constexpr char kFirst[] = MORVANE_FAKE_DIR "/libFakeProcessing.so";
constexpr char kSecond[] = MORVANE_FAKE_SECOND_DIR "/libFakeProcessing.so";
constexpr int kStrength = 5;

class TwoBuildsTest : public WindowTest {
 protected:
  explicit TwoBuildsTest(const char* Second = kSecond)
      : WindowTest(EnhancementLibrary::File{kFirst}, EnhancementLibrary::File{Second}) {}

  QWidget* Bar() { return platform::NativeWidget(form->Amount.hWnd()); }
  Pixels Saved(const std::string& Path) { return PixelsOf(*platform::LoadPicture(Path)); }
};

TEST_F(TwoBuildsTest, HoldingBShowsTheSecondBuildsResultAndTheFirstIsSaved) {
  platform::SharedLibrary second_build(kSecond);
  second_build.Resolve<void()>("FakeProcessingReset")();
  Open(WritePicture("p.bmp", 800, 600));
  ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.Messages[0].Detail;
  const Pixels picture = PixelsOf(form->SrcImage);
  const FakeProcessingCall& second_call =
      *second_build.Resolve<const FakeProcessingCall*()>("FakeProcessingLastCall")();
  EXPECT_EQ(second_call.Calls, 1);
  EXPECT_EQ(second_call.Strength, kStrength);
  EXPECT_EQ(second_call.InputHash, FakeHash(picture.Bytes.data(), picture.Bytes.size()));

  form->Amount.SetFocus();
  QTest::keyClick(Bar(), Qt::Key_1, Qt::ControlModifier);  // 100 %, the picture's centre
  EXPECT_TRUE(Source().RegionEquals(Result(), 0, 0, 600, 450, kStrength));
  EXPECT_EQ(form->PicDest.Overlay(), "结果（A：libFakeProcessing.so）  100%");

  QTest::keyPress(Bar(), Qt::Key_B);
  EXPECT_TRUE(Source().RegionEquals(Result(), 0, 0, 600, 450, 2 * kStrength));
  EXPECT_EQ(form->PicDest.Overlay(), "结果（B：libFakeProcessing.so）  100%");
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b", true);
  QApplication::sendEvent(Bar(), &repeat);
  EXPECT_TRUE(Source().RegionEquals(Result(), 0, 0, 600, 450, 2 * kStrength));

  Save(PathOf("first"));
  EXPECT_TRUE(picture.RegionEquals(Saved(PathOf("first.bmp")), 0, 0, 800, 600, kStrength));
  QTest::keyRelease(Bar(), Qt::Key_B);
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return Source().RegionEquals(Result(), 0, 0, 600, 450, kStrength); }));
  EXPECT_EQ(LastCall().Calls, 1);
  EXPECT_EQ(second_call.Calls, 1);

  const std::string details = form->lblinfo.ToolTip();
  EXPECT_NE(details.find(std::string("库文件：") + kFirst), std::string::npos) << details;
  EXPECT_NE(details.find(std::string("库文件：") + kSecond), std::string::npos) << details;
  EXPECT_NE(details.find("第二个库（按住 B 查看）本图在强度 5 下运行 1 次"), std::string::npos)
      << details;
  EXPECT_NE(details.find("中位数之比（第二个 / 第一个）："), std::string::npos) << details;
}

class UnusableSecondBuildTest : public TwoBuildsTest,
                                public ::testing::WithParamInterface<const char*> {
 protected:
  UnusableSecondBuildTest() : TwoBuildsTest(GetParam()) {}
};

TEST_P(UnusableSecondBuildTest, IsSaidOnceAndTheFirstGoesOn) {
  Open(WritePicture("p.bmp", 300, 200));
  PressKey(form->Amount, Qt::Key_Right);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Prompt, "无法使用第二个图像处理库，按住 B 时不显示它的结果。");
  EXPECT_NE(dialogs.Messages[0].Detail.find(GetParam()), std::string::npos)
      << dialogs.Messages[0].Detail;
  EXPECT_TRUE(Source().RegionEquals(Result(), 150, 125, 300, 200, kStrength + 1));

  QTest::keyPress(Bar(), Qt::Key_B);
  EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
  EXPECT_EQ(form->PicDest.Overlay().rfind("无结果（B：", 0), 0u) << form->PicDest.Overlay();
  QTest::keyRelease(Bar(), Qt::Key_B);

  Save(PathOf("first"));
  EXPECT_EQ(Saved(PathOf("first.bmp")).Bytes, PixelsOf(form->DestImage).Bytes);
  EXPECT_EQ(dialogs.Messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    MissingOrWithoutTheEntryPoint, UnusableSecondBuildTest,
    ::testing::Values(MORVANE_FAKE_DIR "/no-such-build.so",
                      MORVANE_FAKE_NO_ENTRY_DIR "/libFakeProcessing.so"));

}  // namespace
