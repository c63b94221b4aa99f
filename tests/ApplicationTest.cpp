// The running program as a whole: Qt's own dialogs and buttons speak the
// window's language, and file names on the command line arrive as their bytes.
#include "platform/Application.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(Application, QtsStandardButtonsSpeakChinese) {
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  const QString yes = box.button(QMessageBox::Yes)->text();
  EXPECT_NE(yes, "&Yes");
  EXPECT_TRUE(yes.contains(QChar(0x662f))) << yes.toStdString();  // 是
}

TEST(Application, ArgumentsAreTheSystemsBytes) {
  EXPECT_EQ(platform::Application::Arguments(),
            (std::vector<std::string>{"\xfe.bmp", "\xe7\x85\xa7.jpg"}));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // As a user would start the program on two files, one named in bytes that are not text.
  std::vector<char*> arguments{argv[0], const_cast<char*>("\xfe.bmp"),
                               const_cast<char*>("\xe7\x85\xa7.jpg"), nullptr};
  int count = 3;
  platform::Application application(count, arguments.data());
  return RUN_ALL_TESTS();
}
