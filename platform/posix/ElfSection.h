#pragma once

#include <QByteArrayView>
#include <QIODevice>

#include <cstdint>
#include <optional>

// Where a section's bytes lie in an ELF file.
struct TElfSection {
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
};

// Finds the section called `name` in a little-endian ELF32 or ELF64 image read from
// `device` (random access, opened for reading). Nothing when the image is not such a
// file, is cut short, is inconsistent, or has no section of that name with bytes in the
// file. Reads only what the headers name, each read checked against the device's size.
std::optional<TElfSection> FindElfSection(QIODevice& device, QByteArrayView name);
