// Feeds arbitrary bytes to the binary component stream reader: it either returns a
// component tree or raises EReadError naming the byte offset; it never reads outside
// the data, allocates without bound, hangs or recurses without bound.
#include "core/Exception.h"
#include "core/TBinaryStreamReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const TStreamComponent root = TBinaryStreamReader::Parse(bytes, QStringLiteral("fuzz.bin"));
        if (root.ClassName.isEmpty())
            std::abort();
    } catch (const EReadError& error) {
        if (!error.Message().startsWith(QStringLiteral("Error reading fuzz.bin at byte ")))
            std::abort();
    }
    return 0;
}
