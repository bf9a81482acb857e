#pragma once

#include "platform/SystemError.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TFileHold;
class TSha256;

// The body of a download while it arrives: a file of its own beside the target
// ("setup.exe.AbcDef.part"), which takes the target's place only once it is
// complete. It outlives a broken transfer so that a retry can continue it, and is
// removed with the object unless it was committed. While it exists it is held
// (TFileHold), so that RemoveAbandoned, run by another download or the next start of
// the program, tells it from one that a killed program left behind.
class TPartialFile {
public:
    explicit TPartialFile(QString target);
    ~TPartialFile();
    TPartialFile(const TPartialFile&) = delete;
    TPartialFile& operator=(const TPartialFile&) = delete;

    QString Target() const { return FTarget; }
    // Opens the file for writing at its end (`keep`) or emptied; creates it first
    // when there is none yet. False when it cannot be created or opened.
    bool Open(bool keep);
    // Bytes in the file, those still buffered included.
    qint64 Size() const { return FSize; }
    // Room for up to `count` more bytes, for a reader to fill in place; Wrote then
    // adds the first bytes of it to the file. Null, with the system's reason in
    // Error, when what waited could not be written to make it.
    char* Room(qint64 count);
    void Wrote(qint64 count);
    // Keeps a SHA-256 of the file from now on: of what is in it already, read back
    // once, and of every later write. False when the file could not be read back.
    bool StartHashing();
    // The SHA-256 of the whole file, after StartHashing, which it ends; false when a
    // pending write failed.
    bool FinishHashing(QByteArray& digest);
    // Writes what waits and closes the file, which FileName then names as it will
    // take the target's place; false when a write failed.
    bool Close();
    QString FileName() const { return FFile.fileName(); }
    // Closes the file and puts it in the target's place; false when a write or the
    // replacement failed, and then the file stays as it is.
    bool Commit();
    // Closes and removes the file; a later Open starts a new one.
    void Discard();
    // Why the last call failed (NoSpace, "No space left on device").
    const TSystemError& Error() const { return FError; }

    // Removes from `folder` the partial files of `targets` (file names, matched
    // exactly) that no download holds any more.
    static void RemoveAbandoned(const QString& folder, const QStringList& targets);

private:
    // Writes what waits in FPending; false with FError set when the system refused.
    bool Drain();
    bool Create();

    QString FTarget;
    // Unbuffered, so that a refused write reports the system's reason; FPending
    // gathers the small pieces of a download into larger writes instead.
    QFile FFile;
    std::unique_ptr<TFileHold> FHold;
    // What the file holds so far, hashed as it is written, in FPending's large pieces.
    // On the writing thread: a thread of its own for the hash measured slower on two
    // cores, its hand-overs costing more than the processor time they moved.
    std::unique_ptr<TSha256> FHash;
    // Bytes [0, FPendingSize) wait to be written.
    std::vector<char> FPending;
    std::size_t FPendingSize = 0;
    TSystemError FError;
    qint64 FSize = 0;
};
