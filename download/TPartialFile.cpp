#include "download/TPartialFile.h"

#include "platform/Files.h"

#include <QTemporaryFile>

TPartialFile::TPartialFile(QString target) : FTarget(std::move(target)) {}

TPartialFile::~TPartialFile() {
    Discard();
}

bool TPartialFile::Open(bool keep) {
    if (FFile.isOpen())
        FFile.close();
    if (FFile.fileName().isEmpty()) {
        // A unique name, so that two downloads of one installer never share a file.
        QTemporaryFile reserved(FTarget + QStringLiteral(".XXXXXX.part"));
        reserved.setAutoRemove(false);
        if (!reserved.open()) {
            FError = reserved.errorString();
            return false;
        }
        // As a file made in the usual way would be, not private to the user.
        reserved.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                QFileDevice::ReadOther);
        FFile.setFileName(reserved.fileName());
        keep = false;
    }
    if (!FFile.open(keep ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate)) {
        FError = FFile.errorString();
        return false;
    }
    FSize = FFile.size();
    return true;
}

bool TPartialFile::Write(const char* data, qint64 count) {
    if (FFile.write(data, count) != count) {
        FError = FFile.errorString();
        return false;
    }
    FSize += count;
    return true;
}

bool TPartialFile::Commit() {
    // No sync to the disk: the file is fetched again whenever it is wanted, and a
    // sync of a large file would hold the window for seconds on a slow disk.
    const bool written = FFile.flush();
    if (!written)
        FError = FFile.errorString();
    FFile.close();
    if (!written || !ReplaceFile(FFile.fileName(), FTarget, &FError))
        return false;
    FFile.setFileName(QString());
    FSize = 0;
    return true;
}

void TPartialFile::Discard() {
    FFile.close();
    if (!FFile.fileName().isEmpty())
        DeleteFile(FFile.fileName());
    FFile.setFileName(QString());
    FSize = 0;
}
