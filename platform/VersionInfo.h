#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Version information of executable files, in the layout of a VS_VERSIONINFO block.

// Size of the file's version block, 0 when the file has none or cannot be read.
std::uint32_t GetFileVersionInfoSize(const QString& path);
// Reads the file's version block into `block`; false when that fails.
bool GetFileVersionInfo(const QString& path, QByteArray& block);
// Looks up a path such as "\StringFileInfo\040904E4\FileVersion" in a block read by
// GetFileVersionInfo; a string value is returned up to its terminating zero. Path parts
// compare case-insensitively; false for a binary value and for a malformed block.
bool VerQueryValue(const QByteArray& block, const QString& subBlock, QString& value);
// The raw bytes of any value: "\" gives the VS_FIXEDFILEINFO, "\VarFileInfo\Translation"
// the language and code page pairs.
bool VerQueryValue(const QByteArray& block, const QString& subBlock, QByteArray& value);

struct TVersionFields {
    std::uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
    QString CompanyName, FileDescription, ProductName, LegalCopyright;
    QString FileVersion;  // as shown, "1.0.0.1"
    QString ProductVersion;
};

// Builds a version block with one string table, 040904E4 (U.S. English, code page 1252).
// Empty when the texts do not fit the 64 KiB that the block's 16-bit lengths can address.
QByteArray BuildVersionBlock(const TVersionFields& fields);
