#include "ui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace ui {

namespace {
QtDialogs qtDialogs;
Dialogs* current = nullptr;

// "Name|*.A;*.B|Other|*.C" -> Qt's "Name (*.A *.B)" entries.
QStringList QtFilters(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    result << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
  return result;
}
}  // namespace

Dialogs& Dialogs::Current() { return current ? *current : qtDialogs; }

void Dialogs::Install(Dialogs* dialogs) { current = dialogs; }

bool TFileDialog::Execute() { return Dialogs::Current().ExecuteFileDialog(*this); }

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

void QtDialogs::ShowError(const std::string& text) {
  MessageBox(text, QApplication::applicationName().toStdString(), MsgIcon::Error);
}

ScriptedDialogs::ScriptedDialogs() : previous_(current) { Install(this); }

ScriptedDialogs::~ScriptedDialogs() { Install(previous_); }

void ScriptedDialogs::AnswerNextFileDialog(std::optional<std::string> path, int filterIndex) {
  answers_.push_back({std::move(path), filterIndex});
}

bool ScriptedDialogs::ExecuteFileDialog(TFileDialog& dialog) {
  dialogs.push_back({dialog.DialogKind(), dialog.Title, dialog.FileName, dialog.Filter,
                     dialog.FilterIndex});
  if (answers_.empty()) return false;
  Answer answer = answers_.front();
  answers_.pop_front();
  if (!answer.path) return false;
  dialog.FileName = *answer.path;
  if (answer.filterIndex > 0) dialog.FilterIndex = answer.filterIndex;
  return true;
}

void ScriptedDialogs::MessageBox(const std::string& text, const std::string& title,
                                 MsgIcon icon) {
  boxes.push_back({text, title, icon, false});
}

void ScriptedDialogs::ShowError(const std::string& text) {
  boxes.push_back({text, "", MsgIcon::Error, true});
}

std::vector<std::string> ScriptedDialogs::Errors() const {
  std::vector<std::string> texts;
  for (const Box& box : boxes)
    if (box.errorReport) texts.push_back(box.text);
  return texts;
}

}  // namespace ui
