#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// One hive in the registry editor's text format ("Windows Registry Editor Version
// 5.00"), held in memory: the keys below one root, in file order, each with its values
// in file order. Key and value names compare case-insensitively and keep the spelling
// they were first given. A key exists when it has a [section] of its own or when a key
// below it does. Reading accepts what regedit exports (UTF-16LE with byte order mark,
// UTF-8, CRLF or LF, "REGEDIT4"); writing gives UTF-8 without byte order mark, LF line
// ends and the 5.00 header.
class TRegFile {
public:
    explicit TRegFile(TRootKey root);

    TRootKey Root() const { return FRoot; }

    // Replaces the content with the hive in `bytes`. On failure the content is empty and
    // `error` is a sentence naming `fileName`, the 1-based line and what is wrong there.
    bool Parse(const QByteArray& bytes, const QString& fileName, QString& error);
    QByteArray Serialize() const;

    // Whether a key path / value name can be written to a hive file and read back:
    // a key path is names joined by backslashes (none empty; "" is the root key itself),
    // and neither may hold NUL, CR, LF or broken UTF-16. "" names the default value.
    static bool IsStorableKeyPath(const QString& path);
    static bool IsStorableValueName(const QString& name);

    bool KeyExists(const QString& path) const;
    // Gives the key a section of its own unless it already exists (also implicitly).
    // True when that changed the hive. `path` must be storable.
    bool CreateKey(const QString& path);
    // Null when the key or the value is missing.
    const TRegValue* FindValue(const QString& path, const QString& name) const;
    // Adds or replaces the value (whatever its earlier type), creating the key. True when
    // that changed the hive. `path` and `name` must be storable.
    bool SetValue(const QString& path, const QString& name, const TRegValue& value);

    // Keys with a section of their own, in file order, as first spelled.
    QStringList KeyPaths() const;
    QStringList ValueNames(const QString& path) const;

    friend bool operator==(const TRegFile& a, const TRegFile& b);

private:
    struct TNamedValue {
        QString Name;
        TRegValue Value;
    };
    struct TKey {
        QString Path;
        QString Folded;
        std::vector<TNamedValue> Values;
        // Positions in Values, ordered by name without regard to case: four bytes a
        // value find it, where a hive holds many values for as long as it is open.
        std::vector<std::uint32_t> Order;
    };

    const TKey* FindKey(const QString& path) const;
    TKey& AppendKey(const QString& path);
    void InsertKey(const QString& path);
    void RebuildKeyIndex();
    static void PutValue(TKey& key, const QString& name, const TRegValue& value);
    // Where `name` is in key.Values; -1 when it is not there.
    static std::ptrdiff_t ValuePosition(const TKey& key, const QString& name);
    static std::vector<std::uint32_t>::const_iterator OrderSlot(const TKey& key, const QString& name);
    // After reading: orders every key's values by name, and where a name came more
    // than once keeps its first place and spelling with its last value.
    void IndexValues();

    friend class TRegFileParser;

    TRootKey FRoot;
    std::vector<TKey> FKeys;
    QHash<QString, std::size_t> FKeyIndex;  // folded path -> position in FKeys
};
