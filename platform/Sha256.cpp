#include "platform/Sha256.h"

#include <QCryptographicHash>

TSha256::TSha256() {
    Start();
}

TSha256::~TSha256() = default;

void TSha256::Start() {
    FSystem = StartSystemHash();
    if (!FSystem)
        FFallback = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
}

void TSha256::AddData(const char* data, std::size_t size) {
    if (FFallback)
        FFallback->addData(QByteArrayView(data, static_cast<qsizetype>(size)));
    else
        FSystem->Add(data, size);
}

QByteArray TSha256::Result() {
    if (FFallback) {
        const QByteArray digest = FFallback->result();
        FFallback->reset();
        return digest;
    }
    const QByteArray digest = FSystem->Finish();
    Start();
    return digest;
}
