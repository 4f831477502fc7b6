#pragma once

#include <exception>
#include <functional>

namespace ui {

// Runs a handler started by the user's input (or a timer tick). An exception that
// escapes it is shown in a message box, the framework's default error report, and
// the program goes on. Chains started by code inside a handler call each other
// directly, so their errors reach this point and stop the chain where it failed.
void RunUserHandler(const std::function<void()>& handler);

// The default error report: shows the exception's text in a message box.
void ShowException(const std::exception& error);

}  // namespace ui
