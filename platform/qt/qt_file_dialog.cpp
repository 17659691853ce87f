#include "platform/qt/qt_file_dialog.h"

#include <QFileDialog>
#include <QStringList>

namespace platform::qt {
namespace {

// "All Files (*.*)" lists every file, as "*.*" does on Windows.
QString NameFilter(const FileFilter& filter) {
  QStringList patterns;
  for (const std::string& pattern : filter.patterns) {
    patterns << (pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern));
  }
  return QString::fromStdString(filter.description) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
         QLatin1Char(')');
}

}  // namespace

bool RunFileDialog(QWidget* owner, const FileDialogRequest& request, std::string* chosen) {
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  // A name typed for a file that does not exist yet is taken, as GetOpenFileName takes it.
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!(request.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const FileFilter& filter : request.filters) filters << NameFilter(filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
  if (!request.folder.empty()) dialog.setDirectory(QString::fromStdString(request.folder));
  // A pattern such as "*.bin" only says what to list; a plain name is offered as the choice.
  if (request.name.find_first_of("*?") == std::string::npos) dialog.selectFile(QString::fromStdString(request.name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *chosen = dialog.selectedFiles().first().toStdString();
  return true;
}

}  // namespace platform::qt
