#include "app/Program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    return RunProgram();
}
