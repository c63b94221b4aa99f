// The window at start-up: its controls where the layout puts them, their
// settings and texts, the focus and tab order, and what closing releases.
#include "WindowFixture.h"

#include "platform/internal/NativeWidget.h"

#include <QApplication>
#include <QTest>

namespace {

QRect Geometry(const platform::Window& Control) {
  return {Control.Left(), Control.Top(), Control.Width(), Control.Height()};
}

QWidget* Widget(platform::Window& Control) { return platform::NativeWidget(Control.hWnd()); }

using LayoutTest = WindowTest;

TEST_F(LayoutTest, ControlsStandWhereTheLayoutPutsThem) {
  EXPECT_EQ(form->Caption(), "Morvane");
  EXPECT_EQ(form->ClientWidth(), 1240);
  EXPECT_EQ(form->ClientHeight(), 566);
  EXPECT_EQ(Geometry(form->Amount), QRect(258, 500, 250, 20));
  EXPECT_EQ(Geometry(form->PicTemp), QRect(934, 492, 79, 57));
  EXPECT_EQ(Geometry(form->PicSrc), QRect(16, 16, 600, 450));
  EXPECT_EQ(Geometry(form->CmdSave), QRect(98, 492, 85, 25));
  EXPECT_EQ(Geometry(form->PicDest), QRect(632, 16, 600, 450));
  EXPECT_EQ(Geometry(form->CmdOpen), QRect(14, 492, 85, 25));
  // Labels size themselves to the font's text; their top-left corners are fixed.
  EXPECT_EQ(Geometry(form->LblB[1]).topLeft(), QPoint(518, 504));
  EXPECT_EQ(Geometry(form->LblB[0]).topLeft(), QPoint(204, 504));
  EXPECT_EQ(Geometry(form->lblinfo).topLeft(), QPoint(16, 530));
}

TEST_F(LayoutTest, StartsWithNothingLoadedAndTheBarAtFive) {
  EXPECT_EQ(form->CmdOpen.Caption(), "选择图像");
  EXPECT_EQ(form->CmdSave.Caption(), "保存图像");
  EXPECT_EQ(form->LblB[0].Caption(), "增强程度");
  EXPECT_EQ(form->LblB[1].Caption(), "5");
  EXPECT_EQ(form->lblinfo.Caption(), "信息：");
  EXPECT_EQ(form->Amount.Min(), 0);
  EXPECT_EQ(form->Amount.Max(), 10);
  EXPECT_EQ(form->Amount.SmallChange(), 1);
  EXPECT_EQ(form->Amount.LargeChange(), 2);
  EXPECT_EQ(form->Amount.Value(), 5);
  EXPECT_FALSE(form->PicTemp.Visible());
  EXPECT_EQ(form->SrcImage.handle(), nullptr);
  EXPECT_EQ(form->DestImage.handle(), nullptr);
  EXPECT_EQ(View(), QRect());
  EXPECT_TRUE(Source().OutsideIs(background, 0, 0, 0, 0));
  EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
}

TEST_F(LayoutTest, FocusStartsOnOpenAndTabFollowsTheLayoutOrder) {
  ASSERT_EQ(QApplication::focusWidget(), Widget(form->CmdOpen));
  const std::vector<QWidget*> order = {Widget(form->PicDest), Widget(form->CmdSave),
                                       Widget(form->PicSrc), Widget(form->Amount),
                                       Widget(form->CmdOpen)};
  for (QWidget* expected : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected);
  }
}

// Keys act on the focused control, so every tab stop looks different with the focus.
TEST_F(LayoutTest, EveryTabStopShowsWhenItHasTheFocus) {
  for (platform::Window* control : std::vector<platform::Window*>{
           &form->CmdOpen, &form->PicDest, &form->CmdSave, &form->PicSrc, &form->Amount}) {
    QWidget* widget = Widget(*control);
    widget->clearFocus();
    const QImage without = widget->grab().toImage();
    control->SetFocus();
    ASSERT_EQ(QApplication::focusWidget(), widget);
    EXPECT_NE(widget->grab().toImage(), without) << widget->metaObject()->className();
    widget->clearFocus();
  }
}

TEST_F(LayoutTest, TheKeyThatPressesTheFocusedButtonAsksForAPicture) {
  // A loaded machine can report the window active before Open has the focus.
  QWidget* open = Widget(form->CmdOpen);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == open; }, 5000));
  QTest::keyClick(open, Qt::Key_Space);
  ASSERT_EQ(dialogs.OpenRequests.size(), 1u);
  EXPECT_EQ(dialogs.OpenRequests[0].Owner, form->hWnd());
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(LayoutTest, ValueLabelGrowsToTheRightForTwoDigits) {
  const QRect at_five = Geometry(form->LblB[1]);
  PressKey(form->Amount, Qt::Key_End);
  EXPECT_EQ(form->LblB[1].Caption(), "10");
  EXPECT_EQ(Geometry(form->LblB[1]).topLeft(), at_five.topLeft());
  EXPECT_GT(form->LblB[1].Width(), at_five.width());
}

TEST_F(LayoutTest, EnlargingTheWindowLeavesEveryControlInPlace) {
  const QRect box = Geometry(form->PicDest);
  const QRect bar = Geometry(form->Amount);
  Widget(*form)->resize(1600, 900);
  QApplication::processEvents();
  EXPECT_EQ(form->ClientWidth(), 1600);
  EXPECT_EQ(Geometry(form->PicDest), box);
  EXPECT_EQ(Geometry(form->Amount), bar);
}

TEST_F(LayoutTest, ClosingReleasesBothImagesWithoutAMessage) {
  Open(WritePicture("a.bmp", 40, 30));
  ASSERT_NE(form->SrcImage.handle(), nullptr);
  ASSERT_NE(form->DestImage.handle(), nullptr);
  Widget(*form)->close();
  EXPECT_EQ(form->SrcImage.handle(), nullptr);
  EXPECT_EQ(form->DestImage.handle(), nullptr);
  EXPECT_FALSE(Widget(*form)->isVisible());
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
