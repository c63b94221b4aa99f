// The running program as a whole: Qt's own dialogs and buttons speak the
// window's language.
#include "platform/Application.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Application, QtsStandardButtonsSpeakChinese) {
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  const QString yes = box.button(QMessageBox::Yes)->text();
  EXPECT_NE(yes, "&Yes");
  EXPECT_TRUE(yes.contains(QChar(0x662f))) << yes.toStdString();  // 是
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::Application application(argc, argv);
  return RUN_ALL_TESTS();
}
