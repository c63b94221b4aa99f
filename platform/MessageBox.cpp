// MsgBox over QMessageBox, owned by the active window so that it is modal to it.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextDocument>

namespace platform {

namespace {

constexpr int kIconBits = 0x70;
constexpr int kButtonBits = 0x07;

bool Has(MsgBoxStyle Style, MsgBoxStyle Part, int Mask) {
  return (static_cast<int>(Style) & Mask) == static_cast<int>(Part);
}

QMessageBox::Icon IconOf(MsgBoxStyle Style) {
  if (Has(Style, MsgBoxStyle::Critical, kIconBits)) return QMessageBox::Critical;
  if (Has(Style, MsgBoxStyle::Question, kIconBits)) return QMessageBox::Question;
  if (Has(Style, MsgBoxStyle::Exclamation, kIconBits)) return QMessageBox::Warning;
  if (Has(Style, MsgBoxStyle::Information, kIconBits)) return QMessageBox::Information;
  return QMessageBox::NoIcon;
}

}  // namespace

MsgBoxResult MsgBox(const std::string& Prompt, MsgBoxStyle Buttons, const std::string& Title,
                    const std::string& Detail) {
  const QString title =
      Title.empty() ? QGuiApplication::applicationDisplayName() : QString::fromStdString(Title);
  QMessageBox box(IconOf(Buttons), title, QString::fromStdString(Prompt), QMessageBox::NoButton,
                  QApplication::activeWindow());
  // Both texts carry file names, shown as they are, never read as markup. The
  // detail is shown at once rather than behind a button: it is what the user acts on.
  box.setTextFormat(Qt::PlainText);
  if (!Detail.empty()) {
    box.setInformativeText(Qt::convertFromPlainText(QString::fromStdString(Detail)));
  }
  if (Has(Buttons, MsgBoxStyle::YesNo, kButtonBits)) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    const bool second = (static_cast<int>(Buttons) & static_cast<int>(MsgBoxStyle::DefaultButton2));
    box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? MsgBoxResult::Yes : MsgBoxResult::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MsgBoxResult::Ok;
}

}  // namespace platform
