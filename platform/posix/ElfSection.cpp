#include "platform/posix/ElfSection.h"

#include <QByteArray>

namespace {

constexpr unsigned char ElfClass32 = 1;
constexpr unsigned char ElfClass64 = 2;
constexpr unsigned char ElfDataLittleEndian = 1;
constexpr std::uint32_t SectionTypeNoBits = 8;
constexpr std::uint32_t SectionIndexExtended = 0xFFFF;  // SHN_XINDEX
constexpr std::uint32_t SectionIndexReserved = 0xFF00;  // SHN_LORESERVE
// Far above any real executable's section table; keeps a forged count from making us
// allocate the whole of a large file.
constexpr std::uint64_t MaxTableSize = 64 * 1024 * 1024;

// The fields that differ between the two classes: offsets of the file header's and a
// section header's fields.
struct TElfLayout {
    qsizetype HeaderSize, ShOff, ShEntSize, ShNum, ShStrNdx;
    qsizetype SectionHeaderSize, SName, SType, SOffset, SSize, SLink;
    bool Wide;
};

constexpr TElfLayout Elf32Layout{52, 0x20, 0x2E, 0x30, 0x32, 40, 0, 4, 0x10, 0x14, 0x18, false};
constexpr TElfLayout Elf64Layout{64, 0x28, 0x3A, 0x3C, 0x3E, 64, 0, 4, 0x18, 0x20, 0x28, true};

struct TSectionHeader {
    std::uint32_t Name = 0, Type = 0, Link = 0;
    std::uint64_t Offset = 0, Size = 0;
};

class TElfReader {
public:
    TElfReader(QIODevice& device)
        : FDevice(device), FFileSize(std::uint64_t(qMax<qint64>(device.size(), 0))) {}

    // Exactly `count` bytes at `offset`, or nothing when they are not all in the file.
    std::optional<QByteArray> Read(std::uint64_t offset, std::uint64_t count) {
        if (!Contains(offset, count))
            return std::nullopt;
        if (!FDevice.seek(qint64(offset)))
            return std::nullopt;
        QByteArray bytes = FDevice.read(qint64(count));
        if (std::uint64_t(bytes.size()) != count)
            return std::nullopt;
        return bytes;
    }

    bool Contains(std::uint64_t offset, std::uint64_t count) const {
        return offset <= FFileSize && count <= FFileSize - offset;
    }

private:
    QIODevice& FDevice;
    std::uint64_t FFileSize;
};

// A little-endian number of `size` bytes; callers have checked that the bytes are there.
std::uint64_t Number(const QByteArray& bytes, qsizetype offset, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

std::uint64_t Field(const QByteArray& bytes, qsizetype offset, bool wide) {
    return Number(bytes, offset, wide ? 8 : 4);
}

std::uint32_t Field32(const QByteArray& bytes, qsizetype offset) {
    return std::uint32_t(Number(bytes, offset, 4));
}

std::uint16_t Field16(const QByteArray& bytes, qsizetype offset) {
    return std::uint16_t(Number(bytes, offset, 2));
}

TSectionHeader ParseSectionHeader(const QByteArray& table, qsizetype at, const TElfLayout& layout) {
    TSectionHeader header;
    header.Name = Field32(table, at + layout.SName);
    header.Type = Field32(table, at + layout.SType);
    header.Link = Field32(table, at + layout.SLink);
    header.Offset = Field(table, at + layout.SOffset, layout.Wide);
    header.Size = Field(table, at + layout.SSize, layout.Wide);
    return header;
}

}  // namespace

std::optional<TElfSection> FindElfSection(QIODevice& device, QByteArrayView name) {
    if (!device.isReadable() || device.isSequential())
        return std::nullopt;
    TElfReader reader(device);

    const std::optional<QByteArray> ident = reader.Read(0, 16);
    if (!ident || !ident->startsWith("\x7F"
                                     "ELF"))
        return std::nullopt;
    const unsigned char elfClass = static_cast<unsigned char>(ident->at(4));
    if (static_cast<unsigned char>(ident->at(5)) != ElfDataLittleEndian)
        return std::nullopt;
    if (elfClass != ElfClass32 && elfClass != ElfClass64)
        return std::nullopt;
    const TElfLayout& layout = elfClass == ElfClass64 ? Elf64Layout : Elf32Layout;

    const std::optional<QByteArray> header = reader.Read(0, std::uint64_t(layout.HeaderSize));
    if (!header)
        return std::nullopt;
    const std::uint64_t tableOffset = Field(*header, layout.ShOff, layout.Wide);
    const std::uint64_t entrySize = Field16(*header, layout.ShEntSize);
    std::uint64_t count = Field16(*header, layout.ShNum);
    std::uint32_t nameTableIndex = Field16(*header, layout.ShStrNdx);
    if (tableOffset == 0 || entrySize < std::uint64_t(layout.SectionHeaderSize))
        return std::nullopt;

    // With many sections the true count and name table index live in section 0.
    if (count == 0 || nameTableIndex == SectionIndexExtended) {
        const std::optional<QByteArray> first = reader.Read(tableOffset, entrySize);
        if (!first)
            return std::nullopt;
        const TSectionHeader zero = ParseSectionHeader(*first, 0, layout);
        if (count == 0)
            count = zero.Size;
        if (nameTableIndex == SectionIndexExtended)
            nameTableIndex = zero.Link;
    } else if (nameTableIndex >= SectionIndexReserved) {
        return std::nullopt;
    }
    if (count == 0 || nameTableIndex >= count)
        return std::nullopt;
    // The whole table must be in the file before any of it is read; this also bounds
    // the allocation by the file's size.
    if (count > MaxTableSize / entrySize)
        return std::nullopt;
    const std::optional<QByteArray> table = reader.Read(tableOffset, count * entrySize);
    if (!table)
        return std::nullopt;

    const TSectionHeader names = ParseSectionHeader(*table, qsizetype(nameTableIndex * entrySize), layout);
    if (names.Type == SectionTypeNoBits || !reader.Contains(names.Offset, names.Size))
        return std::nullopt;
    const std::uint64_t wanted = std::uint64_t(name.size()) + 1;  // with the terminating zero

    for (std::uint64_t index = 0; index < count; ++index) {
        const TSectionHeader section = ParseSectionHeader(*table, qsizetype(index * entrySize), layout);
        if (section.Name >= names.Size || wanted > names.Size - section.Name)
            continue;
        const std::optional<QByteArray> sectionName = reader.Read(names.Offset + section.Name, wanted);
        if (!sectionName || QByteArrayView(*sectionName).chopped(1) != name || sectionName->back() != '\0')
            continue;
        if (section.Type == SectionTypeNoBits || !reader.Contains(section.Offset, section.Size))
            return std::nullopt;
        return TElfSection{section.Offset, section.Size};
    }
    return std::nullopt;
}
