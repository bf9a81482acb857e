#pragma once

#include "platform/Registry.h"

#include <QString>

#include <memory>

class TRegistry;

// A registry store bound to one root key and one key path. It keeps no key open
// between calls: each operation opens the key, reads or writes one value and
// closes it again. Reads fall back to their default when the key or value is
// missing; a value of the wrong type raises ERegistryException.
class TRegedit {
public:
    TRegedit(const QString& keyPath, TRootKey rootKey);
    ~TRegedit();
    TRegedit(const TRegedit&) = delete;
    TRegedit& operator=(const TRegedit&) = delete;

    // Opens the key for reading, creating it (empty) when missing and allowed.
    QString ReadString(const QString& name, const QString& defaultValue);
    // Never creates the key.
    int ReadInteger(const QString& name, int defaultValue);
    // Creates the key when missing; replaces a value of any type. A dword that holds
    // `value` already is left alone: nothing is written, nothing can fail.
    void WriteInteger(const QString& name, int value);

    const QString& KeyPath() const { return FKeyPath; }

private:
    std::unique_ptr<TRegistry> FRegistry;
    QString FKeyPath;
};
