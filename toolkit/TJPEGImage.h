#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

// The JPEG graphic of pictures in form descriptions ("TJPEGImage"): its data is a
// 32-bit little-endian byte count followed by that many bytes of a JPEG file.
// Decoding is strict: damaged, truncated or oversized data raises EReadError
// and never ends the program.
class TJPEGImage {
public:
    // Larger pictures are refused before any pixel memory is taken.
    static constexpr int MaxSide = 8192;
    static constexpr int MaxPixels = 16 * 1024 * 1024;

    // Decodes the stored form (byte count, then the JPEG file).
    static QImage Decode(const QByteArray& data);
    // Decodes a JPEG file's bytes.
    static QImage DecodeFile(QByteArrayView jpeg);
};
