// Feeds arbitrary bytes as a gettext catalogue to what tessaly-sib does with one: it
// is read, validated, built into a translation file and written out. Every step
// either succeeds or raises its error (ELanguageError for a catalogue it refuses,
// std::invalid_argument for what the file cannot hold); it never crashes, hangs or
// allocates without bound. Needs no display: it links the translation files alone.
#include "core/Exception.h"
#include "i18n/files/ELanguageError.h"
#include "i18n/files/TTranslationCatalogue.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const TPoFile po = TPoFile::Parse(bytes, QStringLiteral("fuzz.po"));
        TTranslationCatalogue::Validate(po, TTranslationCatalogue::TCatalogueKind::Template);
        const TSibDescription built = TTranslationCatalogue::Build({po});
        TSibGenerator::File(built);
        po.Write();
    } catch (const Exception&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
