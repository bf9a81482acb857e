#include "net/TPartialFile.h"

#include "platform/Files.h"
#include "platform/Sha256.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t PendingSize = 64 * 1024;
// QTemporaryFile's template: the target's name, six letters of its own, and this.
constexpr QLatin1StringView PartSuffix(".part");
constexpr qsizetype UniqueLength = 6;
// A file that another process removed before it could be held is made anew, a few times.
constexpr int CreateAttempts = 4;

// Whether `name` is a partial file of `target` ("setup.exe.AbxCdE.part"): the name
// exactly, letter case included, then six letters as QTemporaryFile makes them, so
// that no file a person named is ever taken for one.
bool IsPartialFileOf(const QString& name, const QString& target) {
    if (name.size() != target.size() + 1 + UniqueLength + PartSuffix.size() || !name.startsWith(target) ||
        !name.endsWith(PartSuffix) || name.at(target.size()) != QLatin1Char('.'))
        return false;
    const QStringView unique = QStringView(name).mid(target.size() + 1, UniqueLength);
    return std::all_of(unique.begin(), unique.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    });
}

// Why the last call on `file` failed, ClearSystemError having come before it: the
// system's reason, or Qt's words where the system recorded none.
TSystemError FailureOf(const QFileDevice& file) {
    const TSystemError error = LastSystemError();
    return error.Text.isEmpty() ? OtherError(file.errorString()) : error;
}

}  // namespace

TPartialFile::TPartialFile(QString target) : FTarget(std::move(target)), FPending(PendingSize) {}

TPartialFile::~TPartialFile() {
    Discard();
}

bool TPartialFile::Create() {
    const QFileInfo target(FTarget);
    // What killed downloads of the same file left behind goes first.
    RemoveAbandoned(target.path(), {target.fileName()});
    for (int attempt = 0; attempt < CreateAttempts; ++attempt) {
        // A unique name, so that two downloads of one installer never share a file.
        QTemporaryFile reserved(FTarget + QStringLiteral(".XXXXXX") + PartSuffix);
        reserved.setAutoRemove(false);
        ClearSystemError();
        if (!reserved.open()) {
            FError = FailureOf(reserved);
            return false;
        }
        // Where the name would be too long for the system (a folder whose path nearly
        // fills the longest path, a target's name near the longest name), Qt makes a
        // file without a name instead, and every later open of it says "No file name
        // specified". The system's own reason comes from a look-up of the name.
        if (reserved.fileName().isEmpty()) {
            reserved.close();
            QFile named(FTarget + QStringLiteral(".XXXXXX") + PartSuffix);
            ClearSystemError();
            named.open(QIODevice::ReadOnly);
            FError = FailureOf(named);
            return false;
        }
        // As a file made in the usual way would be, not private to the user.
        reserved.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                QFileDevice::ReadOther);
        // Held before anything is written to it; only another program's cleaning
        // between its creation and now takes it away. Where the file system keeps no
        // locks it cannot be held, but then no cleaning can take it either.
        FHold = HoldFile(reserved.fileName());
        if (FHold || FileExists(reserved.fileName())) {
            FFile.setFileName(reserved.fileName());
            return true;
        }
    }
    FError = {TSystemErrorKind::NotFound, QStringLiteral("the file was removed as it was made")};
    return false;
}

bool TPartialFile::Open(bool keep) {
    if (FFile.isOpen()) {
        if (!Drain())
            return false;
        FFile.close();
    }
    if (FFile.fileName().isEmpty()) {
        if (!Create())
            return false;
        keep = false;
    }
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    ClearSystemError();
    if (!FFile.open(mode | (keep ? QIODevice::Append : QIODevice::Truncate))) {
        FError = FailureOf(FFile);
        return false;
    }
    FSize = FFile.size();
    // An emptied file has nothing hashed; a kept one keeps its running hash.
    if (!keep)
        FHash.reset();
    return true;
}

char* TPartialFile::Room(qint64 count) {
    const auto wanted = static_cast<std::size_t>(count);
    if (FPendingSize + wanted > FPending.size()) {
        if (!Drain())
            return nullptr;
        // A reader that asks for more than the pieces hold gets room all the same.
        if (wanted > FPending.size())
            FPending.resize(wanted);
    }
    return FPending.data() + FPendingSize;
}

void TPartialFile::Wrote(qint64 count) {
    FPendingSize += static_cast<std::size_t>(count);
    FSize += count;
}

bool TPartialFile::StartHashing() {
    if (FHash)
        return true;
    if (!Drain())
        return false;
    auto hash = std::make_unique<TSha256>();
    if (FSize > 0) {
        QFile kept(FFile.fileName());
        ClearSystemError();
        if (!kept.open(QIODevice::ReadOnly)) {
            FError = FailureOf(kept);
            return false;
        }
        std::vector<char> piece(PendingSize);
        qint64 left = FSize;
        while (left > 0) {
            ClearSystemError();
            const qint64 read = kept.read(piece.data(), std::min<qint64>(left, PendingSize));
            if (read <= 0) {
                FError = FailureOf(kept);
                return false;
            }
            hash->AddData(piece.data(), static_cast<std::size_t>(read));
            left -= read;
        }
    }
    FHash = std::move(hash);
    return true;
}

bool TPartialFile::FinishHashing(QByteArray& digest) {
    if (!FHash || !Drain())
        return false;
    digest = FHash->Result();
    FHash.reset();
    return true;
}

bool TPartialFile::Drain() {
    std::size_t done = 0;
    while (done < FPendingSize) {
        // A full disk may take part of a write first and refuse only the rest,
        // which then says why.
        ClearSystemError();
        const qint64 written = FFile.write(FPending.data() + done, static_cast<qint64>(FPendingSize - done));
        if (written <= 0) {
            FError = FailureOf(FFile);
            std::memmove(FPending.data(), FPending.data() + done, FPendingSize - done);
            FPendingSize -= done;
            return false;
        }
        // Hashed as it reaches the file, so that the hash always stands for the file.
        if (FHash)
            FHash->AddData(FPending.data() + done, static_cast<std::size_t>(written));
        done += static_cast<std::size_t>(written);
    }
    FPendingSize = 0;
    return true;
}

bool TPartialFile::Close() {
    const bool written = Drain();
    FFile.close();
    return written;
}

bool TPartialFile::Commit() {
    // No sync to the disk: the file is fetched again whenever it is wanted, and a
    // sync of a large file would hold the window for seconds on a slow disk.
    const bool written = Drain();
    FFile.close();
    if (!written || !ReplaceFile(FFile.fileName(), FTarget, &FError))
        return false;
    FFile.setFileName(QString());
    FHold.reset();
    FHash.reset();
    FSize = 0;
    return true;
}

void TPartialFile::Discard() {
    FPendingSize = 0;
    FFile.close();
    if (!FFile.fileName().isEmpty())
        DeleteFile(FFile.fileName());
    FFile.setFileName(QString());
    FHold.reset();
    FHash.reset();
    FSize = 0;
}

void TPartialFile::RemoveAbandoned(const QString& folder, const QStringList& targets) {
    QDir files(folder);
    files.setNameFilters({QLatin1Char('*') + PartSuffix});
    for (const QString& name : files.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (std::any_of(targets.begin(), targets.end(),
                        [&name](const QString& target) { return IsPartialFileOf(name, target); }))
            DeleteUnheldFile(files.filePath(name));
}
