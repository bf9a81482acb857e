#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>
#include <QString>

// Reads the binary component stream format, the one window resources and the
// translators in a translation file are stored in:
//
//   "TPF0"  [prefix 0xF0..0xFF: low bits are flags; ffChildPos adds an integer value]
//   class name, component name            (1 length byte each)
//   { property name (1 length byte), tagged value }  empty name
//   { child component (prefix, names, properties, children) }  0 byte
//
// Integers are little-endian. Strings with tags 6, 7 and 12 are in the writer's
// code page, which the stream does not record: Bytes keeps them as stored and
// Text is their UTF-8 reading when they are valid UTF-8, else their Latin-1
// reading. Whoever knows the code page decodes Bytes again. 10-byte extended
// floats are rounded to the nearest double (beyond its range: infinity or zero).
//
// Every length and count is checked against the bytes that are there and nesting
// is limited, so malformed data raises EReadError naming the source and the byte
// offset; it is never read past, and never makes the reader allocate more than a
// small multiple of its size.
class TBinaryStreamReader {
public:
    // Reads one component starting at `position`, which must point at its "TPF0"
    // signature; on success `position` is just after the component's closing 0 byte.
    static TStreamComponent Read(const QByteArray& bytes, qsizetype& position, const QString& sourceName);
    // Reads a buffer that holds exactly one component.
    static TStreamComponent Parse(const QByteArray& bytes, const QString& sourceName = QString());
};
