#include "ui/console_dialogs.h"

namespace ui {

ConsoleDialogs::ConsoleDialogs(std::ostream& out, std::string prefix)
    : out_(out), prefix_(std::move(prefix)) {}

bool ConsoleDialogs::ExecuteFileDialog(TFileDialog&) { return false; }

void ConsoleDialogs::MessageBox(const std::string& text, const std::string& title, MsgIcon icon) {
  if (icon == MsgIcon::Error) {
    ShowError(title.empty() ? text : title + ": " + text);
    return;
  }
  out_ << prefix_ << (title.empty() ? "" : title + ": ") << text << '\n' << std::flush;
}

bool ConsoleDialogs::AskYesNo(const std::string& text, const std::string& title) {
  MessageBox(text + " No", title, MsgIcon::None);
  return false;
}

void ConsoleDialogs::ShowError(const std::string& text) {
  if (errors_++ == 0) first_ = text;
  out_ << prefix_ << text << '\n' << std::flush;
}

}  // namespace ui
