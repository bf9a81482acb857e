// Feeds arbitrary bytes as a translation file (".sib") to a window's translator:
// LoadFromSIB either replaces the lists and re-applies the window, or raises the
// file's error (ELanguageError for a wrong header or a file cut short, EReadError
// for a malformed translator stream); it never crashes, hangs or allocates
// without bound. Each loaded language is then applied once.
#include "core/Exception.h"
#include "fuzz/FuzzTranslationForm.h"
#include "i18n/TTranslator.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> GFolder;
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
    GFolder = std::make_unique<QTemporaryDir>();
    if (!GFolder->isValid())
        std::abort();
    GFormStream = FuzzFormStream(2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = GFolder->filePath(QStringLiteral("Translate.sib"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    TfrmFuzz form;
    TTranslator* translator = LoadFuzzForm(form, GFormStream);
    try {
        translator->LoadFromSIB(path);
        if (translator->Busy())
            std::abort();
        const int languages = std::min(translator->NumOfLanguages(), 4);
        for (int language = languages; language >= 1; --language) {
            translator->SetActiveLanguage(language);
            translator->GetTextById(QStringLiteral("IDS_1"));
        }
    } catch (const Exception&) {
        // The file's own error: a clear message, the translator usable again.
        if (translator->Busy())
            std::abort();
    }
    return 0;
}
