#include "ui/user_handler.h"

#include <string>

#include "ui/dialogs.h"

namespace ui {

void RunUserHandler(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

void ShowException(const std::exception& error) { Dialogs::Current().ShowError(error.what()); }

}  // namespace ui
