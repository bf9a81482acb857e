#include "i18n/files/TSibGenerator.h"

#include "i18n/files/TranslationDataFormat.h"

#include "core/TBinaryStreamWriter.h"
#include "platform/CodePage.h"

#include <QtEndian>

#include <stdexcept>

namespace {

QByteArray U16(qsizetype n) {
    if (n < 0 || n > 0xFFFF)
        throw std::invalid_argument("a translation file field exceeds 16 bits");
    char b[2];
    qToLittleEndian<quint16>(static_cast<quint16>(n), b);
    return QByteArray(b, 2);
}

QByteArray U32(qsizetype n) {
    char b[4];
    qToLittleEndian<quint32>(static_cast<quint32>(n), b);
    return QByteArray(b, 4);
}

// `text` in the Windows code page an iconv-style name ("CP1251") names; every
// character must have a form there.
QByteArray ConvertTo(const QByteArray& codePage, const QString& text) {
    bool numbered = false;
    const int number = codePage.startsWith("CP") ? codePage.mid(2).toInt(&numbered) : 0;
    if (!numbered || !IsCodePageSupported(number))
        throw std::invalid_argument("unknown code page " + codePage.toStdString());
    const QByteArray bytes = EncodeCodePage(text, number);
    if (DecodeCodePage(bytes, number) != text)
        throw std::invalid_argument("\"" + text.toStdString() + "\" has no form in " +
                                    codePage.toStdString());
    return bytes;
}

TStreamValue Value(TStreamValue::TKind kind) {
    TStreamValue value;
    value.Kind = kind;
    return value;
}

TStreamValue Int(std::int64_t n) {
    TStreamValue value = Value(n >= -128 && n <= 127       ? TStreamValue::vaInt8
                               : n >= -32768 && n <= 32767 ? TStreamValue::vaInt16
                                                           : TStreamValue::vaInt32);
    value.Int = n;
    return value;
}

TStreamValue Text(TStreamValue::TKind kind, const QString& text, const QByteArray& bytes = {}) {
    TStreamValue value = Value(kind);
    value.Text = text;
    value.Bytes = bytes;
    return value;
}

}  // namespace

TSibWindow& TSibWindow::Add(const QByteArray& kind, const QString& key, const QStringList& values) {
    Entries.push_back({kind, key, values});
    return *this;
}

TSibWindow& TSibWindow::ExtendedTranslation(const QString& identifier, const QString& typeKind,
                                            const QStringList& values) {
    Extended.push_back({identifier, typeKind, values});
    return *this;
}

QByteArray TSibGenerator::Encode(const TSibDescription& description, int language, const QString& text) {
    if (description.StoreAsUTF8)
        return text.toUtf8();
    return ConvertTo(description.Languages.value(language).CodePage, text);
}

QByteArray TSibGenerator::TranslationData(const TSibDescription& description, const TSibWindow& window) {
    const char delim = description.TabDelimited ? '\t' : '\x01';
    const auto line = [&](const QString& key, const QStringList& values) {
        QByteArray bytes = TranslationDataFormat::Escape(key.toUtf8()) + delim;
        for (int i = 0; i < description.Languages.size(); ++i)
            bytes += TranslationDataFormat::Escape(Encode(description, i, values.value(i))) + delim;
        return bytes + "\r\n";
    };
    QByteArray data;
    // Every section but the last, which holds nothing here.
    for (int k = 0; k + 1 < TranslationDataFormat::KindCount; ++k) {
        const char* kind = TranslationDataFormat::KindNames[k];
        data += QByteArray(kind) + "\r\n";
        bool ownCharsets = false;
        QByteArray lines;
        for (const TSibEntry& entry : window.Entries) {
            if (entry.Kind.compare(kind, Qt::CaseInsensitive) != 0)
                continue;
            ownCharsets = ownCharsets || entry.Key == window.ClassName;
            lines += line(entry.Key, entry.Values);
        }
        if (QByteArray(kind) == "stCharSets" && window.WindowCharsets && !ownCharsets) {
            QStringList charsets;
            for (const TSibLanguage& language : description.Languages)
                charsets += language.Charset;
            // Charset names are ASCII in every code page.
            lines.prepend(line(window.ClassName, charsets));
        }
        data += lines;
    }
    return data;
}

TStreamComponent TSibGenerator::Translator(const TSibDescription& description, const TSibWindow& window) {
    TStreamComponent stored;
    stored.ClassName = QStringLiteral("TTranslator");
    stored.Name = window.ComponentName;
    TStreamValue names = Value(TStreamValue::vaList);
    for (int i = 0; i < description.Languages.size(); ++i) {
        const QString& name = description.Languages[i].Name;
        names.List.push_back(Text(TStreamValue::vaString, name, Encode(description, i, name)));
    }
    stored.Properties = {
        {QStringLiteral("LangDelim"), Int(description.TabDelimited ? 9 : 1)},
        {QStringLiteral("NumOfLanguages"), Int(description.Languages.size())},
        {QStringLiteral("LangNames.Strings"), names},
        {QStringLiteral("StoreAsUTF8"),
         Value(description.StoreAsUTF8 ? TStreamValue::vaTrue : TStreamValue::vaFalse)},
    };
    if (!window.Extended.isEmpty()) {
        const char delim = description.TabDelimited ? '\t' : '\x01';
        TStreamValue collection = Value(TStreamValue::vaCollection);
        for (const TSibExtended& extended : window.Extended) {
            TStreamValue values = Value(TStreamValue::vaBinary);
            for (int i = 0; i < description.Languages.size(); ++i)
                values.Bytes +=
                    TranslationDataFormat::Escape(Encode(description, i, extended.Values.value(i))) + delim;
            TStreamValue::TItem item;
            item.Properties = {
                {QStringLiteral("Identifier"), Text(TStreamValue::vaString, extended.Identifier)},
                {QStringLiteral("PropertyType"), Text(TStreamValue::vaIdent, extended.TypeKind)},
                {QStringLiteral("ValuesEx"), values}};
            collection.Items.push_back(item);
        }
        stored.Properties.push_back({QStringLiteral("ExtendedTranslations"), collection});
    }
    TStreamValue data = Value(TStreamValue::vaBinary);
    data.Bytes = TranslationData(description, window);
    stored.Properties.push_back({QStringLiteral("TranslationData"), data});
    return stored;
}

QByteArray TSibGenerator::File(const TSibDescription& description) {
    QByteArray fixed;
    for (const QString& language : description.FixedLanguages)
        fixed += language.toUtf8() + "\r\n";
    QList<std::pair<QByteArray, TStreamComponent>> windows;
    for (const TSibWindow& window : description.Windows)
        windows.append({window.ClassName.toUtf8(), Translator(description, window)});
    return Assemble(windows, fixed, description.Header);
}

QByteArray TSibGenerator::Assemble(const QList<std::pair<QByteArray, TStreamComponent>>& windows,
                                   const QByteArray& fixedLanguages, const QByteArray& header) {
    qsizetype offset = header.size() + 2 + 2 + fixedLanguages.size();
    for (const auto& [name, stream] : windows)
        offset += 2 + name.size() + 4;
    QByteArray directory, streams;
    for (const auto& [name, stream] : windows) {
        directory += U16(name.size()) + name + U32(offset + streams.size());
        streams += TBinaryStreamWriter::Write(stream);
    }
    return header + U16(windows.size()) + U16(fixedLanguages.size()) + fixedLanguages + directory + streams;
}
