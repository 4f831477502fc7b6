#pragma once

class QApplication;

// Creates the three windows in the order main window, progress window, table
// generator, shows the main window and runs the event loop. An error that escapes
// start-up or the event loop is shown and ends the program.
int RunEditor(QApplication& app);
