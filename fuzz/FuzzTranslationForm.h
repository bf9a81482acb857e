#pragma once

// The small window that the translation fuzz targets translate: two labels (one
// with its own font), a panel and a translator with `languages` (1 to 3) languages;
// the seeds' translation data and directories name it.
#include "i18n/TTranslator.h"
#include "toolkit/TForm.h"
#include "toolkit/TReader.h"

#include <QByteArray>

#include <cstdlib>
#include <memory>

class TfrmFuzz : public TForm {
    Q_OBJECT

public:
    explicit TfrmFuzz(QObject* owner = nullptr) : TForm(owner) {}
};

inline TStreamComponent FuzzFormStream(int languages) {
    static const char* const kNames[] = {"'English'", "'Deutsch'", "'Russian'"};
    QByteArray names;
    for (int i = 0; i < languages; ++i)
        names += (i ? ", " : "") + QByteArray(kNames[i]);
    const QByteArray form =
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
        "    NumOfLanguages = " +
        QByteArray::number(languages) +
        "\n"
        "    LangNames.Strings = (" +
        names +
        ")\n"
        "  end\n"
        "end\n";
    return TReader::ParseStream(form, QStringLiteral("frmFuzz.dfm"));
}

// Reads `stream` into `form` and gives its translator.
inline TTranslator* LoadFuzzForm(TfrmFuzz& form, const TStreamComponent& stream) {
    TReader::ReadRootComponent(&form, stream);
    auto* translator = qobject_cast<TTranslator*>(form.FindComponent(QStringLiteral("Translator1")));
    if (!translator)
        std::abort();
    return translator;
}
