#pragma once

#include <QByteArray>

// A hive of about `bytes` bytes (the last key ends a little past it): keys of a hundred
// values each, strings, dwords and hex lists, as installers and people write them.
inline QByteArray MakeHive(qsizetype bytes) {
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    text.reserve(bytes + 64 * 1024);  // the last key ends past the target: no copy on the way
    for (int key = 0; text.size() < bytes; ++key) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Bench\\Key" + QByteArray::number(key) + "]\r\n";
        for (int value = 0; value < 100; ++value) {
            const QByteArray name = "\"Value" + QByteArray::number(value) + "\"=";
            switch (value % 4) {
                case 0:
                case 1:
                    text += name + "\"C:\\\\Program Files\\\\Kestrelweave\\\\Tool" + QByteArray::number(key) +
                            "\\\\component-" + QByteArray::number(value) + ".dll\"\r\n";
                    break;
                case 2:
                    text += name +
                            "dword:" + QByteArray::number(key * 100 + value, 16).rightJustified(8, '0') +
                            "\r\n";
                    break;
                default:
                    text += name + "hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n";
            }
        }
        text += "\r\n";
    }
    return text;
}
