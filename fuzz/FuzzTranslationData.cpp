// Feeds arbitrary bytes as a window's TranslationData to its translator, then
// applies every language: reading never fails, and applying writes what it can
// and skips the rest; nothing crashes, hangs or allocates without bound. The
// first byte picks the translator's settings (bit 0 StoreAsUTF8, bit 1 the
// language-1 fall-back, bit 2 the after-load step, which converts TAB-delimited
// lists); the rest is the data.
#include "i18n/TTranslator.h"
#include "toolkit/Exception.h"
#include "toolkit/TForm.h"
#include "toolkit/TReader.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class TfrmFuzz : public TForm {
    Q_OBJECT

public:
    explicit TfrmFuzz(QObject* owner = nullptr) : TForm(owner) {}
};

namespace {

const QByteArray kForm =
    "object frmFuzz: TfrmFuzz\n"
    "  Caption = 'Window'\n"
    "  object lblOne: TLabel\n"
    "    Caption = 'One'\n"
    "    Hint = 'Hint'\n"
    "  end\n"
    "  object lblTwo: TLabel\n"
    "    Caption = 'Two'\n"
    "    ParentFont = False\n"
    "  end\n"
    "  object pnlThree: TPanel\n"
    "    Caption = 'Three'\n"
    "  end\n"
    "  object Translator1: TTranslator\n"
    "    NumOfLanguages = 3\n"
    "    LangNames.Strings = ('English', 'Deutsch', 'Russian')\n"
    "  end\n"
    "end\n";

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
    GFormStream = TReader::ParseStream(kForm, QStringLiteral("frmFuzz.dfm"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TfrmFuzz form;
    TReader::ReadRootComponent(&form, GFormStream);
    auto* translator = qobject_cast<TTranslator*>(form.FindComponent(QStringLiteral("Translator1")));
    if (!translator)
        std::abort();
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

#include "FuzzTranslationData.moc"
