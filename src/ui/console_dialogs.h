#pragma once

#include <ostream>
#include <string>

#include "ui/dialogs.h"

namespace ui {

// The dialogs seam for a program without windows: every box and error report
// becomes one line on a stream, and a file dialog is always cancelled and a
// question answered "No", since there is nobody to choose.
class ConsoleDialogs : public Dialogs {
 public:
  // prefix starts every line ("tqx512: ").
  explicit ConsoleDialogs(std::ostream& out, std::string prefix = {});

  bool ExecuteFileDialog(TFileDialog& dialog) override;
  void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowError(const std::string& text) override;

  int ErrorCount() const { return errors_; }
  const std::string& FirstError() const { return first_; }

 private:
  std::ostream& out_;
  std::string prefix_;
  int errors_ = 0;
  std::string first_;
};

}  // namespace ui
