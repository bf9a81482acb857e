#include "app/Program.h"

int main(int argc, char** argv) {
    const std::unique_ptr<QApplication> qt = OpenDisplay(argc, argv);
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrelweave.TessalyManager"));
    return RunProgram();
}
