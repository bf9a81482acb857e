#include "platform/VersionInfo.h"

#include <QStringList>
#include <QtEndian>

#include <optional>
#include <vector>

// A version block is a tree of nodes, each laid out as
//   WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; padding; value; padding; children
// with every node, value and child starting on a 32-bit boundary of the block. wLength
// covers the node and its children; wValueLength counts WORDs for text (wType 1) and
// bytes for binary values (wType 0).

namespace {

constexpr int NodeHeaderSize = 6;
constexpr std::uint16_t TextType = 1;
constexpr std::uint16_t BinaryType = 0;
constexpr std::uint32_t FixedFileInfoSignature = 0xFEEF04BD;

qsizetype AlignUp(qsizetype offset) {
    return (offset + 3) & ~qsizetype(3);
}

// --- writing ----------------------------------------------------------------------

struct TNodeSpec {
    QString Key;
    QByteArray Value;
    std::uint16_t ValueLength = 0;
    std::uint16_t Type = TextType;
    std::vector<TNodeSpec> Children;
};

void AppendWord(QByteArray& out, std::uint16_t word) {
    const char bytes[2] = {char(word & 0xFF), char(word >> 8)};
    out.append(bytes, 2);
}

void AppendDword(QByteArray& out, std::uint32_t dword) {
    AppendWord(out, std::uint16_t(dword & 0xFFFF));
    AppendWord(out, std::uint16_t(dword >> 16));
}

QByteArray Utf16WithZero(const QString& text) {
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const QChar ch : text)
        AppendWord(bytes, ch.unicode());
    AppendWord(bytes, 0);
    return bytes;
}

void PadToDword(QByteArray& out) {
    out.append(AlignUp(out.size()) - out.size(), '\0');
}

// False when the node does not fit the 16-bit wLength.
bool WriteNode(QByteArray& out, const TNodeSpec& node) {
    const qsizetype start = out.size();
    AppendWord(out, 0);  // wLength, patched below
    AppendWord(out, node.ValueLength);
    AppendWord(out, node.Type);
    out.append(Utf16WithZero(node.Key));
    PadToDword(out);
    out.append(node.Value);
    for (const TNodeSpec& child : node.Children) {
        PadToDword(out);
        if (!WriteNode(out, child))
            return false;
    }
    const qsizetype length = out.size() - start;
    if (length > 0xFFFF)
        return false;
    qToLittleEndian<std::uint16_t>(std::uint16_t(length), out.data() + start);
    return true;
}

TNodeSpec StringNode(const QString& key, const QString& text) {
    TNodeSpec node;
    node.Key = key;
    node.Value = Utf16WithZero(text);
    node.ValueLength = std::uint16_t(qMin<qsizetype>(text.size() + 1, 0xFFFF));
    return node;
}

QByteArray FixedFileInfo(const TVersionFields& fields) {
    const std::uint32_t versionMs = (std::uint32_t(fields.Major) << 16) | fields.Minor;
    const std::uint32_t versionLs = (std::uint32_t(fields.Release) << 16) | fields.Build;
    QByteArray info;
    AppendDword(info, FixedFileInfoSignature);
    AppendDword(info, 0x00010000);  // dwStrucVersion
    AppendDword(info, versionMs);   // dwFileVersionMS
    AppendDword(info, versionLs);   // dwFileVersionLS
    AppendDword(info, versionMs);   // dwProductVersionMS
    AppendDword(info, versionLs);   // dwProductVersionLS
    AppendDword(info, 0x3F);        // dwFileFlagsMask
    AppendDword(info, 0);           // dwFileFlags
    AppendDword(info, 0x00040004);  // dwFileOS: VOS_NT_WINDOWS32
    AppendDword(info, 1);           // dwFileType: VFT_APP
    AppendDword(info, 0);           // dwFileSubtype
    AppendDword(info, 0);           // dwFileDateMS
    AppendDword(info, 0);           // dwFileDateLS
    return info;
}

// --- reading ----------------------------------------------------------------------

// One node of a block, every offset checked to lie within the bytes that are there.
struct TNodeView {
    qsizetype End = 0;  // one past the node's last byte
    QString Key;
    std::uint16_t Type = 0;
    qsizetype ValueStart = 0;
    qsizetype ValueSize = 0;  // in bytes
    qsizetype ChildrenStart = 0;
};

std::uint16_t WordAt(const QByteArray& block, qsizetype offset) {
    return std::uint16_t(static_cast<unsigned char>(block[offset]) |
                         static_cast<unsigned char>(block[offset + 1]) << 8);
}

// The node at `offset`, which must end by `limit` (its parent's end); nothing when the
// node is malformed.
std::optional<TNodeView> ReadNode(const QByteArray& block, qsizetype offset, qsizetype limit) {
    if (offset < 0 || limit > block.size() || offset + NodeHeaderSize > limit)
        return std::nullopt;
    const std::uint16_t length = WordAt(block, offset);
    const std::uint16_t valueLength = WordAt(block, offset + 2);
    TNodeView node;
    node.Type = WordAt(block, offset + 4);
    if (length < NodeHeaderSize || offset + length > limit)
        return std::nullopt;
    node.End = offset + length;

    qsizetype pos = offset + NodeHeaderSize;
    for (;;) {
        if (pos + 2 > node.End)
            return std::nullopt;  // key without its terminating zero
        const std::uint16_t ch = WordAt(block, pos);
        pos += 2;
        if (ch == 0)
            break;
        node.Key.append(QChar(ch));
    }

    node.ValueStart = AlignUp(pos);
    node.ValueSize = node.Type == TextType ? qsizetype(valueLength) * 2 : qsizetype(valueLength);
    if (node.ValueSize > 0 && node.ValueStart + node.ValueSize > node.End)
        return std::nullopt;
    node.ChildrenStart = AlignUp(node.ValueStart + node.ValueSize);
    return node;
}

// Finds the child named `key`. Any malformed child before it ends the walk, as nothing
// after a bad length can be trusted.
std::optional<TNodeView> FindChild(const QByteArray& block, const TNodeView& parent, const QString& key) {
    qsizetype pos = parent.ChildrenStart;
    while (pos + NodeHeaderSize <= parent.End) {
        const std::optional<TNodeView> child = ReadNode(block, pos, parent.End);
        if (!child)
            return std::nullopt;
        if (child->Key.compare(key, Qt::CaseInsensitive) == 0)
            return child;
        pos = AlignUp(child->End);  // End > pos, so the walk always moves on
    }
    return std::nullopt;
}

std::optional<TNodeView> FindNode(const QByteArray& block, const QString& subBlock) {
    std::optional<TNodeView> node = ReadNode(block, 0, block.size());
    if (!node || node->Key.compare(QLatin1String("VS_VERSION_INFO"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QStringList parts = subBlock.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        node = FindChild(block, *node, part);
        if (!node)
            return std::nullopt;
    }
    return node;
}

}  // namespace

QByteArray BuildVersionBlock(const TVersionFields& fields) {
    TNodeSpec table;
    table.Key = QStringLiteral("040904E4");
    table.Children = {
        StringNode(QStringLiteral("CompanyName"), fields.CompanyName),
        StringNode(QStringLiteral("FileDescription"), fields.FileDescription),
        StringNode(QStringLiteral("FileVersion"), fields.FileVersion),
        StringNode(QStringLiteral("ProductName"), fields.ProductName),
        StringNode(QStringLiteral("ProductVersion"), fields.ProductVersion),
        StringNode(QStringLiteral("LegalCopyright"), fields.LegalCopyright),
    };

    TNodeSpec stringFileInfo;
    stringFileInfo.Key = QStringLiteral("StringFileInfo");
    stringFileInfo.Children.push_back(std::move(table));

    TNodeSpec translation;
    translation.Key = QStringLiteral("Translation");
    translation.Type = BinaryType;
    AppendWord(translation.Value, 0x0409);  // U.S. English
    AppendWord(translation.Value, 0x04E4);  // code page 1252
    translation.ValueLength = std::uint16_t(translation.Value.size());

    TNodeSpec varFileInfo;
    varFileInfo.Key = QStringLiteral("VarFileInfo");
    varFileInfo.Children.push_back(std::move(translation));

    TNodeSpec root;
    root.Key = QStringLiteral("VS_VERSION_INFO");
    root.Type = BinaryType;
    root.Value = FixedFileInfo(fields);
    root.ValueLength = std::uint16_t(root.Value.size());
    root.Children.push_back(std::move(stringFileInfo));
    root.Children.push_back(std::move(varFileInfo));

    QByteArray block;
    if (!WriteNode(block, root))
        return QByteArray();
    PadToDword(block);
    return block;
}

bool VerQueryValue(const QByteArray& block, const QString& subBlock, QString& value) {
    const std::optional<TNodeView> node = FindNode(block, subBlock);
    if (!node || node->Type != TextType)
        return false;
    QString text;
    for (qsizetype pos = node->ValueStart; pos + 2 <= node->ValueStart + node->ValueSize; pos += 2) {
        const std::uint16_t ch = WordAt(block, pos);
        if (ch == 0)
            break;
        text.append(QChar(ch));
    }
    value = text;
    return true;
}

bool VerQueryValue(const QByteArray& block, const QString& subBlock, QByteArray& value) {
    const std::optional<TNodeView> node = FindNode(block, subBlock);
    if (!node)
        return false;
    value = block.mid(node->ValueStart, node->ValueSize);
    return true;
}
