#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace ui {

namespace {
// "Name|*.A;*.B|Other|*.C" -> Qt's "Name (*.A *.B)" entries.
QStringList QtFilters(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    result << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
  return result;
}
}  // namespace

bool QtDialogs::ExecuteFileDialog(TFileDialog& dialog) {
  QFileDialog box(QApplication::activeWindow(), QString::fromStdString(dialog.Title));
  const bool save = dialog.DialogKind() == TFileDialog::Kind::Save;
  box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // A typed name is taken as it stands, even for opening: the loader reports a
  // file it cannot read.
  box.setFileMode(QFileDialog::AnyFile);
  box.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QStringList filters = QtFilters(dialog.Filter);
  box.setNameFilters(filters);
  if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
    box.selectNameFilter(filters[dialog.FilterIndex - 1]);
  if (!dialog.InitialDir.empty()) box.setDirectory(QString::fromStdString(dialog.InitialDir));
  box.selectFile(QString::fromStdString(dialog.FileName));
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
  dialog.FileName = box.selectedFiles().first().toStdString();
  dialog.FilterIndex = static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1;
  return true;
}

void QtDialogs::MessageBox(const std::string& text, const std::string& title, MsgIcon icon) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  switch (icon) {
    case MsgIcon::Information: qtIcon = QMessageBox::Information; break;
    case MsgIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case MsgIcon::Error: qtIcon = QMessageBox::Critical; break;
    case MsgIcon::None: break;
  }
  QMessageBox box(qtIcon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogs::ShowError(const std::string& text) {
  MessageBox(text, QApplication::applicationName().toStdString(), MsgIcon::Error);
}

}  // namespace ui
