#include "settings/TRegedit.h"

#include "core/TRegistry.h"

namespace {

// Gives the accessor back in its resting state, full access and no open key,
// however the operation ends.
class TRestoreAccess {
public:
    explicit TRestoreAccess(TRegistry& registry) : FRegistry(registry) {}
    ~TRestoreAccess() {
        FRegistry.SetAccess(KEY_ALL_ACCESS);
        FRegistry.CloseKey();
    }
    TRestoreAccess(const TRestoreAccess&) = delete;
    TRestoreAccess& operator=(const TRestoreAccess&) = delete;

private:
    TRegistry& FRegistry;
};

}  // namespace

TRegedit::TRegedit(const QString& keyPath, TRootKey rootKey)
    : FRegistry(std::make_unique<TRegistry>(KEY_ALL_ACCESS)), FKeyPath(keyPath) {
    FRegistry->SetRootKey(rootKey);
}

TRegedit::~TRegedit() = default;

QString TRegedit::ReadString(const QString& name, const QString& defaultValue) {
    QString result = defaultValue;
    TRestoreAccess restore(*FRegistry);
    FRegistry->SetAccess(KEY_READ);
    FRegistry->OpenKey(FKeyPath, true);
    if (FRegistry->ValueExists(name))
        result = FRegistry->ReadString(name);
    return result;
}

int TRegedit::ReadInteger(const QString& name, int defaultValue) {
    int result = defaultValue;
    TRestoreAccess restore(*FRegistry);
    FRegistry->SetAccess(KEY_READ);
    FRegistry->OpenKey(FKeyPath, false);
    if (FRegistry->ValueExists(name))
        result = FRegistry->ReadInteger(name);
    return result;
}

void TRegedit::WriteInteger(const QString& name, int value) {
    TRestoreAccess restore(*FRegistry);
    // A value that is stored already is not written again: that needs no right to
    // write, and leaves the hive file as it is.
    FRegistry->SetAccess(KEY_READ);
    if (FRegistry->OpenKey(FKeyPath, false) && FRegistry->HoldsInteger(name, value))
        return;
    FRegistry->SetAccess(KEY_ALL_ACCESS);
    FRegistry->OpenKey(FKeyPath, true);
    FRegistry->WriteInteger(name, value);
}
