#pragma once

#include "ui/dialogs.h"

namespace ui {

// The editor's modal boxes and file dialogs, on Qt Widgets.
class QtDialogs : public Dialogs {
 public:
  bool ExecuteFileDialog(TFileDialog& dialog) override;
  void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowError(const std::string& text) override;
};

}  // namespace ui
