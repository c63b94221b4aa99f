// The file dialogs over QFileDialog in its widget-based form, which looks and
// behaves the same on every desktop and can be driven the same way in tests.
#include "FileDialog.h"

#include "NativeWidget.h"

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

std::optional<FileDialogChoice> Run(const FileDialogRequest& Request,
                                    QFileDialog::AcceptMode Mode) {
  QFileDialog dialog(NativeWidget(Request.Owner), QString::fromStdString(Request.Title),
                     QString::fromStdString(Request.InitialDir));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(Mode);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& filter : Request.Filters) filters << NameFilter(filter);
  dialog.setNameFilters(filters);

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FileDialogChoice{dialog.selectedFiles().constFirst().toStdString(),
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
