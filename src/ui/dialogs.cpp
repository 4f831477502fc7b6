#include "ui/dialogs.h"

#include <iostream>

#include "ui/console_dialogs.h"

namespace ui {

namespace {
Dialogs* current = nullptr;

// Until a window installs its own: nobody can answer, so boxes go to standard
// error and file dialogs are cancelled.
ConsoleDialogs fallback(std::cerr);

}  // namespace

Dialogs& Dialogs::Current() { return current ? *current : fallback; }

void Dialogs::Install(Dialogs* dialogs) { current = dialogs; }

bool TFileDialog::Execute() { return Dialogs::Current().ExecuteFileDialog(*this); }

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

void ScriptedDialogs::AnswerNextQuestion(bool yes) { questionAnswers_.push_back(yes); }

bool ScriptedDialogs::AskYesNo(const std::string& text, const std::string& title) {
  boxes.push_back({text, title, MsgIcon::None, false, true});
  if (questionAnswers_.empty()) return false;
  const bool yes = questionAnswers_.front();
  questionAnswers_.pop_front();
  return yes;
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
