// kw-hold PATH: holds the file PATH (made when it is missing) as a running download
// holds its partial file, writes "held" and a line end to its output, and keeps the
// hold until its input ends or the program is ended.

#include "platform/Files.h"

#include <QFile>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly))
        return 1;
    file.close();
    const std::unique_ptr<TFileHold> hold = HoldFile(path);
    if (!hold)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
