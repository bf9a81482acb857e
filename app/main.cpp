#include "app/Program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrelweave.TessalyManager"));
    return RunProgram();
}
