// Feeds arbitrary bytes as a window's TranslationData to its translator, then
// applies every language: reading never fails, and applying writes what it can
// and skips the rest; nothing crashes, hangs or allocates without bound. The
// first byte picks the translator's settings (bit 0 StoreAsUTF8, bit 1 the
// language-1 fall-back, bit 2 the after-load step, which converts TAB-delimited
// lists); the rest is the data.
#include "core/Exception.h"
#include "fuzz/FuzzTranslationForm.h"
#include "i18n/TTranslator.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TStreamComponent GFormStream;

}  // namespace

// Fontconfig, under the application's font database, keeps its caches until the
// process ends, past the leak check at exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroying it from an exit handler, after the
    // toolkit's own statics are gone, would crash.
    new QApplication(*argc, *argv);
    GFormStream = FuzzFormStream(3);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TfrmFuzz form;
    TTranslator* translator = LoadFuzzForm(form, GFormStream);
    translator->SetStoreAsUTF8(flags & 1);
    translator->SetTranslateType((flags & 2) ? TCustomTranslator::ttGetDefault
                                             : TCustomTranslator::ttNoChange);
    try {
        translator->ReadTranslationData(bytes);
        if (flags & 4)
            translator->Loaded();
        translator->BuildStringTable();
        translator->ApplyTranslation();
        for (int language = translator->NumOfLanguages(); language >= 1; --language) {
            translator->SetActiveLanguage(language);
            translator->GetTextById(QStringLiteral("IDS_1"));
        }
    } catch (const Exception&) {
        // A value the window's property refuses; the next input starts afresh.
    }
    return 0;
}
