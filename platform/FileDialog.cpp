// The file dialogs over QFileDialog in its widget-based form, which looks and
// behaves the same on every desktop and can be driven the same way in tests.
#include "FileDialog.h"

#include "Errors.h"
#include "internal/NativeWidget.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace platform {

namespace {

QString NameFilter(const FileFilter& Filter) {
  QStringList patterns;
  for (const std::string& pattern : Filter.Patterns) patterns << QString::fromStdString(pattern);
  QString description = QString::fromStdString(Filter.Description);
  if (!description.endsWith(' ')) description += ' ';
  return description + '(' + patterns.join(' ') + ')';
}

// The chosen name as the system's bytes. The dialog lists a name whose bytes are
// not valid text with U+FFFD in their place, which would name a different file
// (or none): such a choice is refused.
std::string SystemPath(const QString& Chosen) {
  const std::string path = QFile::encodeName(Chosen).toStdString();
  if (Chosen.contains(QChar::ReplacementCharacter)) {
    const std::string reason =
        "the name holds characters that cannot be read as text, so it cannot be opened or saved "
        "by name";
    throw FileError("Cannot use \"" + path + "\": " + reason, reason, FileProblem::Other);
  }
  return path;
}

std::optional<FileDialogChoice> Run(const FileDialogRequest& Request,
                                    QFileDialog::AcceptMode Mode) {
  QFileDialog dialog(NativeWidget(Request.Owner), QString::fromStdString(Request.Title),
                     QFile::decodeName(Request.InitialDir.c_str()));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(Mode);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& filter : Request.Filters) filters << NameFilter(filter);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(Request.DefaultSuffix));
  if (!Request.FileName.empty()) dialog.selectFile(QFile::decodeName(Request.FileName.c_str()));

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FileDialogChoice{SystemPath(dialog.selectedFiles().constFirst()),
                          static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

}  // namespace

std::optional<FileDialogChoice> GetOpenFileName(const FileDialogRequest& Request) {
  return Run(Request, QFileDialog::AcceptOpen);
}

std::optional<FileDialogChoice> GetSaveFileName(const FileDialogRequest& Request) {
  return Run(Request, QFileDialog::AcceptSave);
}

}  // namespace platform
