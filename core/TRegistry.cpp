#include "core/TRegistry.h"

#include "core/Exception.h"

#include <QtEndian>

namespace {

// How a message names a value's type: "found a dword".
QString TypeName(std::uint32_t type) {
    switch (type) {
        case REG_NONE:
            return QStringLiteral("a value without a type");
        case REG_SZ:
            return QStringLiteral("a string");
        case REG_EXPAND_SZ:
            return QStringLiteral("an expandable string");
        case REG_BINARY:
            return QStringLiteral("binary data");
        case REG_DWORD:
            return QStringLiteral("a dword");
        case REG_MULTI_SZ:
            return QStringLiteral("a list of strings");
        case REG_QWORD:
            return QStringLiteral("a qword");
        default:
            return QStringLiteral("a value of type %1").arg(type);
    }
}

// The reason of a failed operation: the system's words where it refused, otherwise
// the registry's own sentence.
QString ReasonOf(const TRegResult& result) {
    return result.Reason.isEmpty() ? result.Message : result.Reason + u'.';
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
    FCurrentPath = path;
    FLastOpen = SystemRegistry().OpenKey(FRootKey, path, FAccess, canCreate, FCurrentKey);
    if (FLastOpen.Status == TRegStatus::Corrupt)
        throw ERegistryException(FLastOpen.Message);
    if (!FLastOpen.Ok())
        FCurrentKey.reset();
    return FLastOpen.Ok();
}

void TRegistry::CloseKey() {
    FCurrentKey.reset();
}

QString TRegistry::KeyLocation() const {
    const QString key = KeyName(FRootKey, FCurrentPath);
    const QString store = SystemRegistry().StoreName(FRootKey);
    return store.isEmpty() ? key : QStringLiteral("%1 (%2)").arg(key, store);
}

QString TRegistry::StoreLocation() const {
    const QString store = SystemRegistry().StoreName(FRootKey);
    return store.isEmpty() ? RootKeyName(FRootKey) : store;
}

void TRegistry::RaiseReadError(const QString& name, const TRegResult& result) const {
    // A damaged hive speaks for itself: its file and line.
    if (result.Status == TRegStatus::Corrupt)
        throw ERegistryException(result.Message);
    throw ERegistryException(
        QStringLiteral("Failed to get data for '%1' in %2: %3").arg(name, KeyLocation(), ReasonOf(result)));
}

void TRegistry::RaiseTypeError(const QString& name, const QString& expected, std::uint32_t found) const {
    throw ERegistryException(QStringLiteral("Invalid data type for '%1' in %2: expected %3, found %4.")
                                 .arg(name, KeyLocation(), expected, TypeName(found)));
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
        RaiseReadError(name, result);
    if (value.Type != REG_SZ && value.Type != REG_EXPAND_SZ)
        RaiseTypeError(name, QStringLiteral("a string"), value.Type);
    return value.Text;
}

int TRegistry::ReadInteger(const QString& name) {
    if (!FCurrentKey)
        RaiseReadError(name, FLastOpen);
    TRegValue value;
    const TRegResult result = FCurrentKey->QueryValue(name, value);
    if (!result.Ok())
        RaiseReadError(name, result);
    if (value.Type != REG_DWORD)
        RaiseTypeError(name, QStringLiteral("a dword"), value.Type);
    // The value is read into a 4-byte buffer: longer data does not fit.
    if (value.Data.size() > 4)
        RaiseReadError(
            name, {TRegStatus::IoError,
                   QStringLiteral("a dword holds 4 bytes, this one %1.").arg(value.Data.size()), QString()});
    char bytes[4] = {};
    std::copy(value.Data.cbegin(), value.Data.cend(), bytes);
    return qFromLittleEndian<qint32>(bytes);
}

bool TRegistry::HoldsInteger(const QString& name, int value) {
    TRegValue stored;
    return FCurrentKey && FCurrentKey->QueryValue(name, stored).Ok() &&
           stored == TRegValue::Dword(static_cast<std::uint32_t>(value));
}

void TRegistry::WriteInteger(const QString& name, int value) {
    Write(name, TRegValue::Dword(static_cast<std::uint32_t>(value)));
}

void TRegistry::WriteString(const QString& name, const QString& value) {
    Write(name, TRegValue::String(value));
}

void TRegistry::Write(const QString& name, const TRegValue& value) {
    const TRegResult result = FCurrentKey ? FCurrentKey->SetValue(name, value) : FLastOpen;
    if (!result.Ok())
        throw ERegistryException(QStringLiteral("Failed to set data for '%1' in %2: %3")
                                     .arg(name, StoreLocation(), ReasonOf(result)));
}
