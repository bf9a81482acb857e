// Feeds arbitrary bytes to the hive reader. Whatever it accepts must write back to a
// file that reads as the same hive and writes back byte for byte the same; whatever it
// refuses must be refused with the file name and a line number.
#include "platform/posix/RegFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const TRootKey root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        TRegFile file(root);
        QString error;
        if (!file.Parse(bytes, QStringLiteral("fuzz.reg"), error)) {
            if (!error.startsWith(QStringLiteral("The registry file 'fuzz.reg' is damaged (line ")))
                std::abort();
            continue;
        }
        const QByteArray written = file.Serialize();
        TRegFile again(root);
        if (!again.Parse(written, QStringLiteral("fuzz.reg"), error))
            std::abort();
        if (!(again == file) || again.Serialize() != written)
            std::abort();
    }
    return 0;
}
