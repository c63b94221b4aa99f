// The platform's controls as the window relies on them: when the scroll bar
// reports a change, labels that size themselves, picture boxes that keep their
// drawing, the time text and the message box.
#include "platform/Drawing.h"
#include "platform/Form.h"
#include "platform/HScrollBar.h"
#include "platform/internal/NativeWidget.h"
#include "platform/Label.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/PictureBox.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <limits>

namespace {

class ScrollBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar.SetRange(0, 10);
    bar.SetSmallChange(1);
    bar.SetLargeChange(2);
    bar.SetValue(5);
    bar.OnChange([this] { ++changes; });
    platform::NativeWidget(form.hWnd())->show();
  }

  QScrollBar* Widget() { return static_cast<QScrollBar*>(platform::NativeWidget(bar.hWnd())); }

  QPoint Centre(QStyle::SubControl Part) {
    QStyleOptionSlider option;
    option.initFrom(Widget());
    option.orientation = Qt::Horizontal;
    option.state |= QStyle::State_Horizontal;
    option.minimum = Widget()->minimum();
    option.maximum = Widget()->maximum();
    option.sliderPosition = option.sliderValue = Widget()->value();
    option.singleStep = Widget()->singleStep();
    option.pageStep = Widget()->pageStep();
    option.subControls = QStyle::SC_All;
    return Widget()->style()->subControlRect(QStyle::CC_ScrollBar, &option, Part, Widget()).center();
  }

  platform::Form form{"controls", 400, 100};
  platform::HScrollBar bar{form, {10, 10, 250, 20}};
  int changes = 0;
};

TEST_F(ScrollBarTest, ArrowClickTrackClickAndKeyEachReportOneChange) {
  QTest::mouseClick(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddLine));
  EXPECT_EQ(bar.Value(), 6);
  EXPECT_EQ(changes, 1);
  QTest::mouseClick(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddPage));
  EXPECT_EQ(bar.Value(), 8);
  EXPECT_EQ(changes, 2);
  QTest::keyClick(Widget(), Qt::Key_Left);
  EXPECT_EQ(bar.Value(), 7);
  EXPECT_EQ(changes, 3);
}

TEST_F(ScrollBarTest, DragReportsOneChangeWhenItEndsAndNoneWhileItLasts) {
  const QPoint thumb = Centre(QStyle::SC_ScrollBarSlider);
  QTest::mousePress(Widget(), Qt::LeftButton, {}, thumb);
  QTest::mouseMove(Widget(), thumb + QPoint(40, 0));
  QTest::mouseMove(Widget(), thumb + QPoint(80, 0));
  EXPECT_EQ(changes, 0);
  QTest::mouseRelease(Widget(), Qt::LeftButton, {}, thumb + QPoint(80, 0));
  EXPECT_EQ(changes, 1);
  EXPECT_GT(bar.Value(), 5);
}

TEST_F(ScrollBarTest, HeldArrowRepeats) {
  QTest::mousePress(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddLine));
  QTest::qWait(800);
  QTest::mouseRelease(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddLine));
  EXPECT_GT(changes, 1);
  EXPECT_EQ(bar.Value(), 5 + changes);
}

// A modal box runs the event loop, where the held arrow would go on repeating
// and reporting behind the box.
TEST_F(ScrollBarTest, PressWhoseHandlerHoldsABoxUpEndsThere) {
  bar.OnChange([] { QTest::qWait(800); });
  QTest::mousePress(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddLine));
  QTest::qWait(800);
  QTest::mouseRelease(Widget(), Qt::LeftButton, {}, Centre(QStyle::SC_ScrollBarAddLine));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(bar.Value(), 6);
}

TEST_F(ScrollBarTest, KeyAtTheEndOfTheRangeReportsNothing) {
  QTest::keyClick(Widget(), Qt::Key_End);
  QTest::keyClick(Widget(), Qt::Key_Right);
  EXPECT_EQ(bar.Value(), 10);
  EXPECT_EQ(changes, 1);
}

TEST(Label, SizesItselfToItsTextKeepingItsLeftEdge) {
  platform::Form form("labels", 200, 100);
  platform::Label label(form, 30, 40, "5");
  const int narrow = label.Width();
  label.SetCaption("10");
  EXPECT_EQ(label.Left(), 30);
  EXPECT_EQ(label.Top(), 40);
  EXPECT_GT(label.Width(), narrow);
  EXPECT_EQ(label.Caption(), "10");
}

// A solid 24-bit block to draw into a box through the drawing layer.
class Block {
 public:
  Block(int Width, int Height, std::uint8_t Blue, std::uint8_t Green, std::uint8_t Red)
      : dc_(platform::CreateCompatibleDC(nullptr)) {
    platform::BitmapInfoHeader header;
    header.Width = Width;
    header.Height = -Height;
    std::uint8_t* bits = nullptr;
    bitmap_ = platform::CreateDIBSection(dc_, header, platform::DIB_RGB_COLORS, &bits);
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) {
        std::uint8_t* pixel = bits + y * platform::StrideFor(Width) + 3 * x;
        pixel[0] = Blue;
        pixel[1] = Green;
        pixel[2] = Red;
      }
    }
    previous_ = platform::SelectObject(dc_, bitmap_);
  }
  ~Block() {
    platform::SelectObject(dc_, previous_);
    platform::DeleteDC(dc_);
    platform::DeleteObject(bitmap_);
  }
  platform::Hdc Dc() const { return dc_; }

 private:
  platform::Hdc dc_;
  platform::Hbitmap bitmap_ = nullptr;
  platform::Hbitmap previous_ = nullptr;
};

QRgb PixelOf(const platform::Picture& Picture, int X, int Y) {
  const std::uint8_t* p = &Picture.Pixels()[Y * platform::StrideFor(Picture.PixelWidth()) + 3 * X];
  return qRgb(p[2], p[1], p[0]);
}

class PictureBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::NativeWidget(form.hWnd())->show();
    background = PixelOf(box.Image(), 0, 0);
    ASSERT_NE(background, qRgb(255, 0, 0));
    platform::BitBlt(box.hDC(), 2, 3, 5, 4, red.Dc(), 0, 0, platform::SRCCOPY);
  }

  platform::Form form{"boxes", 200, 100};
  platform::PictureBox box{form, {10, 10, 20, 10}};
  Block red{5, 4, 0, 0, 255};
  QRgb background = 0;
};

TEST_F(PictureBoxTest, KeepsItsDrawingAndShowsItOnEveryRepaint) {
  const platform::Picture image = box.Image();
  ASSERT_EQ(image.PixelWidth(), 20);
  EXPECT_EQ(PixelOf(image, 2, 3), qRgb(255, 0, 0));
  EXPECT_EQ(PixelOf(image, 7, 3), background);

  const QImage shown = platform::NativeWidget(box.hWnd())->grab().toImage();
  EXPECT_EQ(shown.pixel(6, 6), qRgb(255, 0, 0));
  EXPECT_EQ(shown.pixel(1, 1), background);
}

TEST_F(PictureBoxTest, ClsFillsWithTheBackground) {
  box.Cls();
  EXPECT_EQ(PixelOf(box.Image(), 2, 3), background);
}

TEST_F(PictureBoxTest, MoveKeepsWhatOverlapsAndClearsTheRest) {
  box.Move(0, 0, 40, 5);
  const platform::Picture image = box.Image();
  EXPECT_EQ(box.Left(), 0);
  EXPECT_EQ(image.PixelWidth(), 40);
  EXPECT_EQ(image.PixelHeight(), 5);
  EXPECT_EQ(PixelOf(image, 6, 4), qRgb(255, 0, 0));
  EXPECT_EQ(PixelOf(image, 30, 4), background);
}

TEST_F(PictureBoxTest, BoxWithoutAreaHasNothingToDrawIntoAndAnEmptyImage) {
  box.Move(0, 0, 0, 0);
  EXPECT_EQ(box.hDC(), nullptr);
  EXPECT_EQ(box.Image().PixelWidth(), 0);
  EXPECT_TRUE(box.Image().Pixels().empty());
}

TEST(FixedPointText, DropsTrailingZerosAndKeepsAtMostFourDecimals) {
  EXPECT_EQ(platform::FixedPointText(125000), "12.5");
  EXPECT_EQ(platform::FixedPointText(30000), "3");
  EXPECT_EQ(platform::FixedPointText(421), "0.0421");
  EXPECT_EQ(platform::FixedPointText(0), "0");
  EXPECT_EQ(platform::FixedPointText(12345678), "1234.5678");
  EXPECT_EQ(platform::FixedPointText(-125000), "-12.5");
  EXPECT_EQ(platform::FixedPointText(std::numeric_limits<std::int64_t>::min()),
            "-922337203685477.5808");
}

TEST(FixedPointText, UsesTheLocalesDecimalSeparatorWithoutGrouping) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(platform::FixedPointText(12345000), "1234,5");
  QLocale::setDefault(saved);
}

// Answers the next modal box from inside its own event loop.
template <typename Answer>
void WhenTheBoxOpens(Answer Act) {
  QTimer::singleShot(0, [Act] { Act(qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); });
}

TEST(MessageBox, CarriesTheApplicationTitleTheIconThePromptAndTheDetail) {
  QGuiApplication::setApplicationDisplayName("Morvane");
  QString title, text, detail;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenTheBoxOpens([&](QMessageBox* Box) {
    ASSERT_NE(Box, nullptr);
    title = Box->windowTitle();
    text = Box->text();
    QTextDocument shown;
    shown.setHtml(Box->informativeText());
    detail = shown.toPlainText();
    icon = Box->icon();
    Box->button(QMessageBox::Ok)->click();
  });
  // A file name is shown as it is, never read as markup.
  const std::string reason = "无法读取图像文件。\n/tmp/<b>a</b>.jpg: not a picture";
  EXPECT_EQ(platform::MsgBox("不支持的图像格式。", platform::MsgBoxStyle::Critical, {}, reason),
            platform::MsgBoxResult::Ok);
  EXPECT_EQ(title, "Morvane");
  EXPECT_EQ(text, "不支持的图像格式。");
  EXPECT_EQ(detail.toStdString(), reason);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(MessageBox, YesNoQuestionDefaultsToTheSecondButtonAndGivesTheAnswer) {
  const auto style = platform::MsgBoxStyle::YesNo | platform::MsgBoxStyle::Question |
                     platform::MsgBoxStyle::DefaultButton2;
  bool default_is_no = false;
  WhenTheBoxOpens([&](QMessageBox* Box) {
    ASSERT_NE(Box, nullptr);
    default_is_no = Box->defaultButton() == Box->button(QMessageBox::No);
    Box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(platform::MsgBox("?", style), platform::MsgBoxResult::Yes);
  EXPECT_TRUE(default_is_no);

  WhenTheBoxOpens([](QMessageBox* Box) { QTest::keyClick(Box, Qt::Key_Escape); });
  EXPECT_EQ(platform::MsgBox("?", style), platform::MsgBoxResult::No);
}

}  // namespace
