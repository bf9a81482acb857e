// The real program, started the way main.cpp starts it, with a probe that reports
// the main window's first paint and then closes it.
#include "app/Program.h"
#include "bench/startup/FirstPaintProbe.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    TFirstPaintProbe probe("TfrmMain");
    qt.installEventFilter(&probe);
    return RunProgram();
}
