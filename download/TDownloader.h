#pragma once

#include "toolkit/TMethod.h"

#include <QObject>

// Fetches one URL with a single GET and writes the body into a file, calling
// OnProgress after every block it writes.
//
// OnProgress is a handler of the form
//     void Handler(QObject* Sender, quint32 Total, quint32 Received, bool& Cancel)
// Total is the Content-Length (0 when there is none), Received the bytes written so
// far. Setting Cancel stops the transfer after the next read; the file is then removed.
class TDownloader : public QObject {
    Q_OBJECT
    Q_PROPERTY(TMethod OnProgress READ OnProgress WRITE SetOnProgress)

public:
    explicit TDownloader(QObject* parent = nullptr);
    ~TDownloader() override;

    TMethod OnProgress() const { return FOnProgress; }
    void SetOnProgress(const TMethod& value) { FOnProgress = value; }

    // True when at least one block of a successful (2xx) response was written,
    // also when the user cancelled afterwards (the file is gone then). A failed or
    // cancelled download never leaves a partial file and never replaces an existing
    // file of that name.
    bool Download(const QString& url, const QString& fileName);

private:
    TMethod FOnProgress;
};
