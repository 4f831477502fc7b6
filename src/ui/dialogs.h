#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace ui {

enum class MsgIcon { None, Information, Warning, Error };

// The state of a common file dialog: set before Execute, read after it.
// Filter uses the form's notation "Name|*.A;*.B|Other|*.C"; FilterIndex is 1-based.
class TFileDialog {
 public:
  enum class Kind { Open, Save };
  explicit TFileDialog(Kind kind) : kind_(kind) {}

  Kind DialogKind() const { return kind_; }
  bool Execute();  // true when the user chose a file; FileName and FilterIndex then hold it

  std::string FileName;
  std::string Title;
  std::string Filter;
  int FilterIndex = 1;
  std::string InitialDir;

 private:
  Kind kind_;
};

class TOpenDialog : public TFileDialog {
 public:
  TOpenDialog() : TFileDialog(Kind::Open) {}
};

class TSaveDialog : public TFileDialog {
 public:
  TSaveDialog() : TFileDialog(Kind::Save) {}
};

// Everything modal that the editor shows goes through this seam, so tests script
// the answers and never block on a window.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual bool ExecuteFileDialog(TFileDialog& dialog) = 0;
  virtual void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) = 0;
  // A question with "Yes" and "No"; true for "Yes".
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // The framework's default error report.
  virtual void ShowError(const std::string& text) = 0;

  static Dialogs& Current();
  // Installs a replacement (not owned); nullptr restores the default, which reports
  // on standard error and cancels every file dialog (the editor installs QtDialogs).
  static void Install(Dialogs* dialogs);
};

// Answers file dialogs from a queue and records every box shown.
class ScriptedDialogs : public Dialogs {
 public:
  struct Box {
    std::string text;
    std::string title;
    MsgIcon icon = MsgIcon::None;
    bool errorReport = false;
    bool question = false;
  };
  struct DialogSeen {
    TFileDialog::Kind kind;
    std::string title;
    std::string fileName;
    std::string filter;
    int filterIndex;
  };

  ScriptedDialogs();
  ~ScriptedDialogs() override;

  // The next file dialog returns this path with this file type; nullopt cancels it.
  void AnswerNextFileDialog(std::optional<std::string> path, int filterIndex = 0);
  // The next question is answered so; an unscripted one gets "No".
  void AnswerNextQuestion(bool yes);

  bool ExecuteFileDialog(TFileDialog& dialog) override;
  void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowError(const std::string& text) override;

  std::vector<Box> boxes;  // questions too
  std::vector<DialogSeen> dialogs;
  std::vector<std::string> Errors() const;  // texts of the default error reports

 private:
  struct Answer {
    std::optional<std::string> path;
    int filterIndex;
  };
  std::deque<Answer> answers_;
  std::deque<bool> questionAnswers_;
  Dialogs* previous_;
};

}  // namespace ui
