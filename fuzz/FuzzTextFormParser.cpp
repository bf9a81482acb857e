// Feeds arbitrary bytes to the text form reader: it either returns a component tree
// or raises EReadError with a line number; it never crashes, hangs or recurses
// without bound.
#include "core/Exception.h"
#include "core/TTextFormParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const TStreamComponent root = TTextFormParser::Parse(bytes, QStringLiteral("fuzz.dfm"));
        if (root.ClassName.isEmpty())
            std::abort();
    } catch (const EReadError& error) {
        if (!error.Message().startsWith(QStringLiteral("Error in fuzz.dfm")))
            std::abort();
    }
    return 0;
}
