#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>

// Writes a component tree in the binary component stream format that
// TBinaryStreamReader reads, each value with the tag of its Kind: "TPF0", then the
// component. Integers are written with the width their Kind names; 8-bit strings
// (vaString, vaIdent, vaLString) from Bytes when it holds anything, else from Text
// in UTF-8, so a code page text is written by putting its bytes in Bytes.
//
// Values the format cannot hold (a name or short string over 255 bytes, an integer
// too wide for its Kind, a null inside a list) raise std::invalid_argument.
class TBinaryStreamWriter {
public:
    static QByteArray Write(const TStreamComponent& component);
};
