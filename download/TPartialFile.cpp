#include "download/TPartialFile.h"

#include "platform/Files.h"

#include <QTemporaryFile>

namespace {

constexpr std::size_t PendingSize = 64 * 1024;

}  // namespace

TPartialFile::TPartialFile(QString target) : FTarget(std::move(target)) {
    FPending.reserve(PendingSize);
}

TPartialFile::~TPartialFile() {
    Discard();
}

bool TPartialFile::Open(bool keep) {
    if (FFile.isOpen()) {
        if (!Drain())
            return false;
        FFile.close();
    }
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
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (!FFile.open(mode | (keep ? QIODevice::Append : QIODevice::Truncate))) {
        FError = FFile.errorString();
        return false;
    }
    FSize = FFile.size();
    return true;
}

bool TPartialFile::Write(const char* data, qint64 count) {
    if (FPending.size() + static_cast<std::size_t>(count) > PendingSize && !Drain())
        return false;
    FPending.insert(FPending.end(), data, data + count);
    FSize += count;
    return true;
}

bool TPartialFile::Drain() {
    std::size_t done = 0;
    while (done < FPending.size()) {
        // A full disk may take part of a write first and refuse only the rest,
        // which then says why.
        const qint64 written =
            FFile.write(FPending.data() + done, static_cast<qint64>(FPending.size() - done));
        if (written <= 0) {
            FError = FFile.errorString();
            FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(done));
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    FPending.clear();
    return true;
}

bool TPartialFile::Commit() {
    // No sync to the disk: the file is fetched again whenever it is wanted, and a
    // sync of a large file would hold the window for seconds on a slow disk.
    const bool written = Drain();
    FFile.close();
    if (!written || !ReplaceFile(FFile.fileName(), FTarget, &FError))
        return false;
    FFile.setFileName(QString());
    FSize = 0;
    return true;
}

void TPartialFile::Discard() {
    FPending.clear();
    FFile.close();
    if (!FFile.fileName().isEmpty())
        DeleteFile(FFile.fileName());
    FFile.setFileName(QString());
    FSize = 0;
}
