#include "platform/PeLayout.h"

#include <algorithm>

namespace {

using TBytes = std::span<const std::uint8_t>;

std::uint16_t Word(TBytes bytes, std::size_t at) {
    return std::uint16_t(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Dword(TBytes bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

// Whether `length` bytes at `at` lie inside `size` bytes, without overflow for any values.
bool Fits(std::uint64_t size, std::uint64_t at, std::uint64_t length) {
    return at <= size && length <= size - at;
}

TPeLayout Verdict(TPeKind kind, const char* why) {
    TPeLayout layout;
    layout.Kind = kind;
    layout.Why = QString::fromLatin1(why);
    return layout;
}

constexpr std::size_t DosHeaderSize = 64, NewHeaderAt = 0x3C, CoffHeaderSize = 20;
constexpr std::size_t SectionCountInCoff = 2, OptionalSizeInCoff = 16;
constexpr std::size_t HeadersSizeInOptional = 60, CheckSumInOptional = 64;
constexpr std::size_t SecurityDirectory = 4, DirectoryEntrySize = 8;
constexpr std::size_t SectionHeaderSize = 40, RawSizeInSection = 16, RawPointerInSection = 20;

}  // namespace

TPeLayout ReadPeLayout(TBytes head, std::uint64_t fileSize) {
    head = head.first(std::min<std::uint64_t>(head.size(), fileSize));
    if (head.size() < DosHeaderSize || head[0] != 'M' || head[1] != 'Z')
        return Verdict(TPeKind::NotAProgram, "not a program file: no MZ header");
    const std::uint64_t peAt = Dword(head, NewHeaderAt);
    if (!Fits(head.size(), peAt, 4 + CoffHeaderSize + 2) || Dword(head, std::size_t(peAt)) != 0x00004550)
        return Verdict(TPeKind::NotAProgram, "not a program file: no PE header");
    const std::size_t coffAt = std::size_t(peAt) + 4;
    const std::size_t optionalAt = coffAt + CoffHeaderSize;
    const std::size_t optionalSize = Word(head, coffAt + OptionalSizeInCoff);
    std::size_t countAt = 0, directoriesAt = 0;
    switch (Word(head, optionalAt)) {
        case 0x10B:  // PE32
            countAt = 92, directoriesAt = 96;
            break;
        case 0x20B:  // PE32+
            countAt = 108, directoriesAt = 112;
            break;
        default:
            return Verdict(TPeKind::NotAProgram, "not a program file: unknown optional header");
    }
    const std::size_t entryAt = directoriesAt + SecurityDirectory * DirectoryEntrySize;
    // The security entry must be one of the header's own directories, inside it.
    if (optionalSize < entryAt + DirectoryEntrySize || !Fits(head.size(), optionalAt, optionalSize))
        return Verdict(TPeKind::NotAProgram, "not a program file: optional header cut short");
    if (Dword(head, optionalAt + countAt) <= SecurityDirectory)
        return Verdict(TPeKind::Unsigned, "no security directory");
    const std::size_t directoryAt = optionalAt + entryAt;
    const TFileRange table{Dword(head, directoryAt), Dword(head, directoryAt + 4)};
    if (table.Size == 0)
        return Verdict(TPeKind::Unsigned, "the security directory is empty");

    // From here on the file claims a signature: whatever does not fit is Broken.
    if (table.End() != fileSize)
        return Verdict(TPeKind::Broken, "the certificate table is not at the end of the file");
    const std::uint64_t headersSize = Dword(head, optionalAt + HeadersSizeInOptional);
    const std::size_t sectionsAt = optionalAt + optionalSize;
    const std::size_t sectionCount = Word(head, coffAt + SectionCountInCoff);
    const std::uint64_t sectionsEnd = sectionsAt + std::uint64_t(sectionCount) * SectionHeaderSize;
    // The section table is part of the headers, so the hash covers it.
    if (sectionsEnd > head.size() || sectionsEnd > headersSize)
        return Verdict(TPeKind::Broken, "the section table lies outside the headers");
    if (headersSize > table.At)
        return Verdict(TPeKind::Broken, "the certificate table overlaps the headers");

    std::vector<TFileRange> sections;
    sections.reserve(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = sectionsAt + i * SectionHeaderSize;
        const TFileRange raw{Dword(head, at + RawPointerInSection), Dword(head, at + RawSizeInSection)};
        if (raw.Size == 0)
            continue;
        if (!Fits(table.At, raw.At, raw.Size))
            return Verdict(TPeKind::Broken, "a section overlaps the certificate table or lies past it");
        sections.push_back(raw);
    }
    std::ranges::stable_sort(sections, {}, &TFileRange::At);

    TPeLayout layout;
    layout.Kind = TPeKind::Signed;
    layout.Table = table;
    const std::uint64_t checkSumAt = optionalAt + CheckSumInOptional;
    layout.Hashed = {{0, checkSumAt},
                     {checkSumAt + 4, directoryAt - checkSumAt - 4},
                     {directoryAt + DirectoryEntrySize, headersSize - directoryAt - DirectoryEntrySize}};
    // What the format counts: the bytes after the sections start at the count of bytes
    // hashed, which is where the last section ends when they follow one another. The
    // count can never pass the table, so no byte is hashed twice more than the file
    // holds and the hash reads at most the file's size.
    std::uint64_t hashed = headersSize;
    for (const TFileRange& section : sections) {
        hashed += section.Size;
        if (hashed > table.At)
            return Verdict(TPeKind::Broken, "the sections overlap");
        layout.Hashed.push_back(section);
    }
    layout.Hashed.push_back({hashed, table.At - hashed});
    std::erase_if(layout.Hashed, [](const TFileRange& range) { return range.Size == 0; });
    return layout;
}

std::optional<TBytes> FindSignature(TBytes table) {
    constexpr std::size_t HeaderSize = 8;
    constexpr std::uint16_t Revision2 = 0x0200, PkcsSignedData = 0x0002;
    const auto zeros = [&](std::size_t from, std::size_t to) {
        return std::all_of(table.begin() + std::ptrdiff_t(from), table.begin() + std::ptrdiff_t(to),
                           [](std::uint8_t byte) { return byte == 0; });
    };
    std::optional<TBytes> found;
    std::size_t at = 0;
    // Entries start at 8-byte boundaries, so what is left after the last one is at most
    // the 7 bytes of its padding.
    while (table.size() - at >= HeaderSize) {
        const std::uint32_t length = Dword(table, at);
        if (length < HeaderSize || length > table.size() - at)
            return std::nullopt;
        if (!found && Word(table, at + 4) == Revision2 && Word(table, at + 6) == PkcsSignedData)
            found = table.subspan(at + HeaderSize, length - HeaderSize);
        const std::size_t end = at + length;
        const std::size_t next = std::min<std::size_t>((end + 7) / 8 * 8, table.size());
        if (!zeros(end, next))
            return std::nullopt;
        at = next;
    }
    if (!zeros(at, table.size()))
        return std::nullopt;
    return found ? *found : TBytes();
}
