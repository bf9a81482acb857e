// The hive held in memory (keys in file order, names found case-insensitively) and its
// writing back as text. Reading lives in RegFileParser.cpp.

#include "platform/posix/RegFile.h"
#include "platform/posix/RegFileFormat.h"

#include <QStringView>

using namespace RegFileFormat;

// The one form in which a value is held, so that a value read back from what we wrote
// compares equal: strings keep their text (the raw UTF-16 only when it is not exactly
// text plus terminator), every other type keeps bytes only.
TRegValue RegFileFormat::Normalized(const TRegValue& value) {
    TRegValue result = value;
    if (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) {
        if (!value.Data.isEmpty()) {
            result.Text = DecodeUtf16Le(value.Data.constData(), value.Data.size() / 2);
            if (value.Data.size() % 2 == 0 && result.Text.endsWith(QChar(u'\0'))) {
                result.Text.chop(1);
                result.Data.clear();
            }
        }
    } else {
        result.Text.clear();
    }
    return result;
}

namespace {

constexpr qsizetype KHexLineWidth = 77;  // regedit wraps hex lists before column 80

bool IsPlainText(QStringView text) {
    for (QChar c : text)
        if (c == u'\0' || c == u'\r' || c == u'\n')
            return false;
    return text.isValidUtf16();
}

// Bytes that a hex list stands for. Strings are UTF-16LE with their terminator.
QByteArray HexBytes(const TRegValue& value) {
    if ((value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) && value.Data.isEmpty())
        return EncodeUtf16Le(value.Text) + QByteArray(2, '\0');
    return value.Data;
}

QString Escaped(const QString& text) {
    QString result;
    result.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            result.append(u'\\');
        result.append(c);
    }
    return result;
}

void AppendValueLine(QString& out, const QString& name, const TRegValue& value) {
    QString line = name.isEmpty() ? QStringLiteral("@=") : u'"' + Escaped(name) + QStringLiteral("\"=");
    if (value.Type == REG_SZ && value.Data.isEmpty() && IsPlainText(value.Text)) {
        out += line + u'"' + Escaped(value.Text) + QStringLiteral("\"\n");
        return;
    }
    if (value.Type == REG_DWORD && value.Data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.Data[i]);
        out += line + QStringLiteral("dword:%1\n").arg(number, 8, 16, QChar(u'0'));
        return;
    }
    line +=
        value.Type == REG_BINARY ? QStringLiteral("hex:") : QStringLiteral("hex(%1):").arg(value.Type, 0, 16);
    const QByteArray bytes = HexBytes(value);
    static const char KDigits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        line.append(QLatin1Char(KDigits[byte >> 4])).append(QLatin1Char(KDigits[byte & 0xF]));
        if (i + 1 < bytes.size()) {
            line.append(u',');
            if (line.size() >= KHexLineWidth) {
                out += line + QStringLiteral("\\\n");
                line = QStringLiteral("  ");
            }
        }
    }
    out += line + u'\n';
}

// How many leading names two folded key paths share.
qsizetype CommonDepth(QStringView a, QStringView b) {
    if (a.isEmpty() || b.isEmpty())
        return 0;
    qsizetype depth = 0;
    for (qsizetype i = 0;; ++i) {
        const bool endA = i == a.size(), endB = i == b.size();
        const bool boundaryA = endA || a[i] == u'\\', boundaryB = endB || b[i] == u'\\';
        if (boundaryA && boundaryB) {
            ++depth;
            if (endA || endB)
                return depth;
        } else if (boundaryA || boundaryB || a[i] != b[i]) {
            return depth;
        }
    }
}

}  // namespace
TRegFile::TRegFile(TRootKey root) : FRoot(root) {}

QByteArray TRegFile::Serialize() const {
    QString out = KHeader5 + u'\n';
    for (const TKey& key : FKeys) {
        out += QStringLiteral("\n[") + KeyName(FRoot, key.Path) + QStringLiteral("]\n");
        for (const TNamedValue& value : key.Values)
            AppendValueLine(out, value.Name, value.Value);
    }
    return out.toUtf8();
}

bool TRegFile::IsStorableKeyPath(const QString& path) {
    if (path.isEmpty())
        return true;
    if (!IsPlainText(path))
        return false;
    return !path.startsWith(u'\\') && !path.endsWith(u'\\') && !path.contains(QStringLiteral("\\\\"));
}

bool TRegFile::IsStorableValueName(const QString& name) {
    return IsPlainText(name);
}

const TRegFile::TKey* TRegFile::FindKey(const QString& path) const {
    const auto found = FKeyIndex.constFind(Fold(path));
    return found == FKeyIndex.cend() ? nullptr : &FKeys[*found];
}

bool TRegFile::KeyExists(const QString& path) const {
    if (path.isEmpty() || FindKey(path))
        return true;
    const QString prefix = Fold(path) + u'\\';
    for (const TKey& key : FKeys)
        if (key.Folded.startsWith(prefix))
            return true;
    return false;
}

TRegFile::TKey& TRegFile::AppendKey(const QString& path) {
    TKey key;
    key.Path = path;
    key.Folded = Fold(path);
    FKeyIndex.insert(key.Folded, FKeys.size());
    FKeys.push_back(std::move(key));
    return FKeys.back();
}

bool TRegFile::CreateKey(const QString& path) {
    if (KeyExists(path))
        return false;
    InsertKey(path);
    return true;
}

// A new key goes after its closest relatives, so the file stays grouped as a tree;
// the root key's own section comes first.
void TRegFile::InsertKey(const QString& path) {
    const QString folded = Fold(path);
    std::size_t position = path.isEmpty() ? 0 : FKeys.size();
    qsizetype best = 0;
    for (std::size_t i = 0; i < FKeys.size() && !path.isEmpty(); ++i) {
        const qsizetype depth = CommonDepth(folded, FKeys[i].Folded);
        if (depth > 0 && depth >= best) {
            best = depth;
            position = i + 1;
        }
    }
    TKey key;
    key.Path = path;
    key.Folded = folded;
    FKeys.insert(FKeys.begin() + std::ptrdiff_t(position), std::move(key));
    RebuildKeyIndex();
}

void TRegFile::RebuildKeyIndex() {
    FKeyIndex.clear();
    for (std::size_t i = 0; i < FKeys.size(); ++i)
        FKeyIndex.insert(FKeys[i].Folded, i);
}

const TRegValue* TRegFile::FindValue(const QString& path, const QString& name) const {
    const TKey* key = FindKey(path);
    if (!key)
        return nullptr;
    const std::ptrdiff_t found = ValuePosition(*key, name);
    return found < 0 ? nullptr : &key->Values[std::size_t(found)].Value;
}

bool TRegFile::SetValue(const QString& path, const QString& name, const TRegValue& value) {
    bool changed = false;
    if (!FindKey(path)) {
        InsertKey(path);
        changed = true;
    }
    TKey& key = FKeys[FKeyIndex.value(Fold(path))];
    const std::ptrdiff_t found = ValuePosition(key, name);
    if (!changed && found >= 0 && key.Values[std::size_t(found)].Value == Normalized(value))
        return false;
    PutValue(key, name, value);
    return true;
}

namespace {

// The order of value names: without regard to case, as the registry compares them.
bool NameBefore(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

}  // namespace

// The first place in key.Order whose name does not come before `name`.
std::vector<std::uint32_t>::const_iterator TRegFile::OrderSlot(const TKey& key, const QString& name) {
    return std::lower_bound(key.Order.begin(), key.Order.end(), name,
                            [&](std::uint32_t position, const QString& wanted) {
                                return NameBefore(key.Values[position].Name, wanted);
                            });
}

std::ptrdiff_t TRegFile::ValuePosition(const TKey& key, const QString& name) {
    const auto at = OrderSlot(key, name);
    if (at == key.Order.end() || key.Values[*at].Name.compare(name, Qt::CaseInsensitive) != 0)
        return -1;
    return std::ptrdiff_t(*at);
}

void TRegFile::PutValue(TKey& key, const QString& name, const TRegValue& value) {
    const auto at = OrderSlot(key, name);
    if (at != key.Order.end() && key.Values[*at].Name.compare(name, Qt::CaseInsensitive) == 0) {
        key.Values[*at].Value = Normalized(value);
        return;
    }
    key.Order.insert(at, std::uint32_t(key.Values.size()));
    key.Values.push_back({name, Normalized(value)});
}

void TRegFile::IndexValues() {
    for (TKey& key : FKeys) {
        std::vector<TNamedValue>& values = key.Values;
        std::vector<std::uint32_t> order(values.size());
        for (std::uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return NameBefore(values[a].Name, values[b].Name);
        });
        // A name read again: its first place and spelling, its last value.
        std::vector<bool> kept(values.size(), true);
        std::size_t duplicates = 0;
        for (std::size_t run = 0; run < order.size();) {
            std::size_t end = run + 1;
            while (end < order.size() &&
                   values[order[end]].Name.compare(values[order[run]].Name, Qt::CaseInsensitive) == 0)
                ++end;
            if (end - run > 1) {
                values[order[run]].Value = std::move(values[order[end - 1]].Value);
                for (std::size_t i = run + 1; i < end; ++i)
                    kept[order[i]] = false;
                duplicates += end - run - 1;
            }
            run = end;
        }
        if (duplicates > 0) {
            std::vector<std::uint32_t> moved(values.size());
            std::vector<TNamedValue> compact;
            compact.reserve(values.size() - duplicates);
            for (std::uint32_t i = 0; i < values.size(); ++i) {
                moved[i] = std::uint32_t(compact.size());
                if (kept[i])
                    compact.push_back(std::move(values[i]));
            }
            std::vector<std::uint32_t> live;
            live.reserve(compact.size());
            for (std::uint32_t position : order)
                if (kept[position])
                    live.push_back(moved[position]);
            values = std::move(compact);
            order = std::move(live);
        }
        values.shrink_to_fit();
        key.Order = std::move(order);
    }
}

QStringList TRegFile::KeyPaths() const {
    QStringList paths;
    for (const TKey& key : FKeys)
        paths.append(key.Path);
    return paths;
}

QStringList TRegFile::ValueNames(const QString& path) const {
    QStringList names;
    if (const TKey* key = FindKey(path))
        for (const TNamedValue& value : key->Values)
            names.append(value.Name);
    return names;
}

bool operator==(const TRegFile& a, const TRegFile& b) {
    if (a.FRoot != b.FRoot || a.FKeys.size() != b.FKeys.size())
        return false;
    for (std::size_t i = 0; i < a.FKeys.size(); ++i) {
        const TRegFile::TKey &x = a.FKeys[i], &y = b.FKeys[i];
        if (x.Path != y.Path || x.Values.size() != y.Values.size())
            return false;
        for (std::size_t k = 0; k < x.Values.size(); ++k)
            if (x.Values[k].Name != y.Values[k].Name || !(x.Values[k].Value == y.Values[k].Value))
                return false;
    }
    return true;
}
