#include "core/TRegistry.h"

#include "core/Exception.h"

#include <QtEndian>

namespace {

[[noreturn]] void Raise(const char* format, const QString& name) {
    throw ERegistryException(QString::fromLatin1(format).arg(name));
}

}  // namespace

TRegistry::TRegistry(std::uint32_t access) : FAccess(access) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(TRootKey value) {
    if (FRootKey == value)
        return;
    FRootKey = value;
    CloseKey();
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
    CloseKey();
    QString path = key;
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    const TRegResult result = SystemRegistry().OpenKey(FRootKey, path, FAccess, canCreate, FCurrentKey);
    if (result.Status == TRegStatus::Corrupt)
        throw ERegistryException(result.Message);
    if (!result.Ok())
        FCurrentKey.reset();
    return result.Ok();
}

void TRegistry::CloseKey() {
    FCurrentKey.reset();
}

bool TRegistry::ValueExists(const QString& name) {
    if (!FCurrentKey)
        return false;
    TRegValue value;
    return FCurrentKey->QueryValue(name, value).Ok();
}

QString TRegistry::ReadString(const QString& name) {
    if (!FCurrentKey)
        return {};
    TRegValue value;
    const TRegResult result = FCurrentKey->QueryValue(name, value);
    if (result.Status == TRegStatus::NotFound)
        return {};
    if (!result.Ok())
        Raise("Failed to get data for '%1'", name);
    if (value.Type != REG_SZ && value.Type != REG_EXPAND_SZ)
        Raise("Invalid data type for '%1'", name);
    return value.Text;
}

int TRegistry::ReadInteger(const QString& name) {
    TRegValue value;
    if (!FCurrentKey || !FCurrentKey->QueryValue(name, value).Ok())
        Raise("Failed to get data for '%1'", name);
    if (value.Type != REG_DWORD)
        Raise("Invalid data type for '%1'", name);
    // The value is read into a 4-byte buffer: longer data does not fit.
    if (value.Data.size() > 4)
        Raise("Failed to get data for '%1'", name);
    char bytes[4] = {};
    std::copy(value.Data.cbegin(), value.Data.cend(), bytes);
    return qFromLittleEndian<qint32>(bytes);
}

void TRegistry::WriteInteger(const QString& name, int value) {
    if (!FCurrentKey ||
        !FCurrentKey->SetValue(name, TRegValue::Dword(static_cast<std::uint32_t>(value))).Ok())
        Raise("Failed to set data for '%1'", name);
}
