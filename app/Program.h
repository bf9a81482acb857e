#pragma once

// The program from start to end: the named mutex, the application object, the
// main window and the message loop. Needs a QApplication. Always returns 0; an
// exception that escapes start-up or the loop is shown first.
int RunProgram();
