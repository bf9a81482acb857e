#pragma once

#include <QApplication>

#include <memory>

// The Qt application object for the window system the environment names. Without a
// display to open, prints one line to standard error saying so and why, and ends the
// process with status 1 instead of Qt's abort. `argc` must outlive the object.
std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv);

// The program from start to end: the named mutex, the application object, the
// main window and the message loop. Needs a QApplication. Returns 0 when the main
// window was shown and then closed, 1 when start-up failed before it could show;
// an exception that escapes start-up is shown first.
int RunProgram();
