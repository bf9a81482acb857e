#include "tests/i18n/TranslationTestForm.h"

#include "i18n/files/TSibGenerator.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TLabel.h"
#include "toolkit/TReader.h"

TTestList::TTestList(QWidget* parent)
    : TWinControl(parent), FItems(new TStrings(this)), FColumns(new TTestColumns(this)) {
    connect(FItems, &TStrings::Changed, this, [this] { ItemIndex = -1; });
}

std::unique_ptr<TfrmTranslatorTest> MakeTestForm(const QByteArray& data,
                                                 const QByteArray& translatorProperties,
                                                 const QByteArray& components) {
    TClassRegistry::RegisterClass<TTestList>();
    const QByteArray text =
        "object frmTranslatorTest: TfrmTranslatorTest\n"
        "  Caption = 'Design window'\n"
        "  object lblOne: TLabel\n"
        "    Caption = 'Design one'\n"
        "    Hint = 'Design hint'\n"
        "  end\n"
        "  object lblTwo: TLabel\n"
        "    Caption = 'Design two'\n"
        "  end\n"
        "  object lblThree: TLabel\n"
        "    Caption = 'Design three'\n"
        "    ParentFont = False\n"
        "  end\n"
        "  object lstItems: TTestList\n"
        "    Items.Strings = ('a', 'b')\n"
        "    Columns = <\n"
        "      item\n"
        "        Title = 'Name'\n"
        "      end\n"
        "      item\n"
        "        Title = 'Size'\n"
        "      end>\n"
        "  end\n" +
        components +
        "  object Translator1: TTranslator\n"
        "    NumOfLanguages = 3\n"
        "    LangNames.Strings = ('English', 'Deutsch', 'Russian')\n"
        "    Language = 'English'\n" +
        translatorProperties + "    TranslationData = " + HexBinary(data) +
        "\n"
        "  end\n"
        "end\n";
    auto form = std::make_unique<TfrmTranslatorTest>();
    TReader::ReadRootComponent(form.get(),
                               TReader::ParseStream(text, QStringLiteral("frmTranslatorTest.dfm")));
    return form;
}

TTranslator* TranslatorOf(const TForm* form) {
    return qobject_cast<TTranslator*>(form->FindComponent(QStringLiteral("Translator1")));
}

QString CaptionOf(const TForm* form, const char* component) {
    return form->FindComponent(QLatin1String(component))->property("Caption").toString();
}

QByteArray Entry(const QByteArray& key, const QList<QByteArray>& values) {
    QByteArray line = key;
    for (const QByteArray& value : values)
        line += '\x01' + value;
    return line + '\x01';
}

QByteArray TranslationData(const TSections& sections, const QByteArray& delimiter) {
    static const char* const kinds[] = {"stCaptions",   "stHints",        "stDisplayLabels", "stFonts",
                                        "stMultiLines", "stDlgsCaptions", "stStrings",       "stOtherStrings",
                                        "stLocales",    "stCollections",  "stCharSets"};
    QByteArray data;
    for (const char* kind : kinds) {
        data += QByteArray(kind) + "\r\n";
        for (const auto& [name, lines] : sections)
            if (name == kind)
                for (QByteArray line : lines)
                    data += line.replace('\x01', delimiter) + "\r\n";
    }
    return data;
}

TSections StandardSections() {
    return {
        {"stCaptions",
         {Entry("TfrmTranslatorTest", {"Window", "Fenster", ""}), Entry("lblOne", {"One", "Eins", ""}),
          Entry("lblMissing", {"Missing", "Fehlt", "Net"}), Entry("lblTwo", {"Two", "Zwei", "Dva"})}},
        {"stHints", {Entry("lblOne", {"Hint one", "Hinweis eins", ""})}},
        {"stFonts",
         {Entry("TfrmTranslatorTest", {"Tahoma", "Arial", ""}), Entry("lblOne", {"Tahoma", "Impact", ""}),
          Entry("lblThree", {"Tahoma", "Courier", ""})}},
        {"stMultiLines", {Entry("lstItems.Items", {"a,b", "x,\"y z\",w", ""})}},
        {"stStrings", {Entry("IDS_1", {"Hello", "Hallo", "Privet"}), Entry("IDS_3", {"Question", "", ""})}},
        {"stOtherStrings",
         {Entry("lblOne.Name", {"lblOne", "lblRenamed", ""}),
          Entry("lblTwo.Hint", {"", "Zweiter Hinweis", ""})}},
        {"stCollections",
         {Entry("lstItems.Columns[1].Title", {"Size", "Groesse", ""}),
          Entry("lstItems.Columns[7].Title", {"Nothing", "Nichts", ""})}},
        {"stCharSets",
         {Entry("TfrmTranslatorTest", {"DEFAULT_CHARSET", "GREEK_CHARSET", "greek_charset"}),
          Entry("lblThree", {"DEFAULT_CHARSET", "russian_charset", "NO_SUCH_CHARSET"})}},
    };
}

QByteArray HexBinary(const QByteArray& bytes) {
    QByteArray text = "{";
    const QByteArray hex = bytes.toHex().toUpper();
    for (qsizetype i = 0; i < hex.size(); i += 64)
        text += "\n      " + hex.mid(i, 64);
    return text + "}";
}

TStreamComponent StoredTranslator(const QStringList& languages, const QByteArray& data, bool storeAsUtf8,
                                  const QByteArray& extendedValues) {
    auto value = [](TStreamValue::TKind kind) {
        TStreamValue v;
        v.Kind = kind;
        return v;
    };
    TStreamComponent stored;
    stored.ClassName = QStringLiteral("TTranslator");
    stored.Name = QStringLiteral("Translator1");
    TStreamValue delim = value(TStreamValue::vaInt8);
    delim.Int = 1;
    TStreamValue count = value(TStreamValue::vaInt8);
    count.Int = languages.size();
    TStreamValue names = value(TStreamValue::vaList);
    for (const QString& language : languages) {
        TStreamValue name = value(TStreamValue::vaString);
        name.Text = language;
        // Names within Latin-1 stand for the stored bytes, as the lists' values do.
        bool bytes = true;
        for (const QChar c : language)
            bytes = bytes && c.unicode() <= 0xFF;
        name.Bytes = bytes ? language.toLatin1() : language.toUtf8();
        names.List.push_back(name);
    }
    TStreamValue dispatcher = value(TStreamValue::vaIdent);
    dispatcher.Text = QStringLiteral("LangDispatcher1");
    TStreamValue binary = value(TStreamValue::vaBinary);
    binary.Bytes = data;
    stored.Properties = {
        {QStringLiteral("LangDelim"), delim},
        {QStringLiteral("NumOfLanguages"), count},
        {QStringLiteral("LangNames.Strings"), names},
        {QStringLiteral("LangDispatcher"), dispatcher},
        {QStringLiteral("StoreAsUTF8"), value(storeAsUtf8 ? TStreamValue::vaTrue : TStreamValue::vaFalse)},
    };
    if (!extendedValues.isEmpty()) {
        TStreamValue collection = value(TStreamValue::vaCollection);
        TStreamValue::TItem item;
        TStreamValue identifier = value(TStreamValue::vaString);
        identifier.Text = QStringLiteral("lblOne.Left");
        TStreamValue kind = value(TStreamValue::vaIdent);
        kind.Text = QStringLiteral("tkInteger");
        TStreamValue values = value(TStreamValue::vaBinary);
        values.Bytes = extendedValues;
        item.Properties = {{QStringLiteral("Identifier"), identifier},
                           {QStringLiteral("PropertyType"), kind},
                           {QStringLiteral("ValuesEx"), values}};
        collection.Items.push_back(item);
        stored.Properties.push_back({QStringLiteral("ExtendedTranslations"), collection});
    }
    stored.Properties.push_back({QStringLiteral("TranslationData"), binary});
    return stored;
}

QByteArray SIBFile(const std::vector<std::pair<QByteArray, TStreamComponent>>& windows,
                   const QByteArray& header) {
    return TSibGenerator::Assemble(
        QList<std::pair<QByteArray, TStreamComponent>>(windows.begin(), windows.end()),
        "English\r\nDeutsch\r\n", header);
}
