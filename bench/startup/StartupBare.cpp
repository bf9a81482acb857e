// The yardstick: the least a Qt Widgets program does to show a window of the main
// window's size, with the same probe as the real program.
#include "bench/startup/FirstPaintProbe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    TFirstPaintProbe probe("QWidget");
    qt.installEventFilter(&probe);
    QWidget window;
    window.resize(652, 321);
    window.show();
    return QApplication::exec();
}
