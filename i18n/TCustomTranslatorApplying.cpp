// Writing the active language into the window: its caption, hint and font, then
// each list's lines into the properties they name.

#include "i18n/TCustomTranslator.h"

#include "i18n/PropertyPath.h"
#include "i18n/files/Charsets.h"
#include "toolkit/ICollection.h"
#include "toolkit/TFont.h"
#include "toolkit/TForm.h"

QObject* TCustomTranslator::FindTarget(const QString& name) const {
    TForm* form = OwnerForm();
    if (!form)
        return nullptr;
    if (name == OwnerClassName() || name == form->objectName())
        return form;
    return form->FindComponent(name);
}

bool TCustomTranslator::ResolveIdentifier(const QString& identifier, QObject** object,
                                          QMetaProperty* property) const {
    TForm* form = OwnerForm();
    if (!form)
        return false;
    QStringList parts = identifier.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    QObject* target = nullptr;
    if (identifier.startsWith(OwnerClassName() + QLatin1Char('.')))
        target = form;
    else
        target = form->FindComponent(parts.first());
    parts.removeFirst();
    target = Descend(target, parts, parts.size() - 1);
    if (!target)
        return false;
    *object = target;
    *property = PropertyOf(target, parts.last());
    return property->isValid();
}

void TCustomTranslator::ApplyTranslation() {
    if (FBusy || !parent())
        return;
    UpdateLanguageCharset();
    if (FTranslateExtendedFirst)
        ApplyExtendedTranslations();
    ApplyWindowString(stCaptions, "Caption");
    ApplyWindowString(stHints, "Hint");
    for (int kind : {stCaptions, stHints, stDisplayLabels})
        ApplyList(kind);
    if (OwnerForm()) {
        ApplyList(stFonts);
        ApplyWindowFont();
    }
    for (int kind : {stMultiLines, stOtherStrings, stCollections})
        ApplyList(kind);
    if (!FTranslateExtendedFirst)
        ApplyExtendedTranslations();
    FOnChangeLanguage(this);
}

void TCustomTranslator::ApplyWindowString(int kind, const char* property) {
    TForm* form = OwnerForm();
    TStrings* list = ListOfKind(kind);
    if (!form || list->Count() == 0)
        return;
    const QString className = OwnerClassName();
    if (FDoNotTranslate->Contains(className) || IsSmartExcluded(className, QLatin1String(property)))
        return;
    const QMetaProperty meta = PropertyOf(form, QLatin1String(property));
    if (!meta.isReadable() || !meta.isWritable() || meta.metaType().id() != QMetaType::QString)
        return;
    const QString line = list->Strings(0);
    if (LineField(line, 0, Delim()).compare(className, Qt::CaseInsensitive) != 0)
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    if (value.isEmpty())
        return;
    try {
        meta.write(form, DecodeValue(value, language));
    } catch (const std::exception&) {
        // A window that refuses a text keeps its own.
    }
}

void TCustomTranslator::SetFontCharset(QObject* font, const QString& component,
                                       Qt::CaseSensitivity cs) const {
    auto* target = qobject_cast<TFont*>(font);
    if (!target)
        return;
    for (const QString& line : CharSets()->List()) {
        if (LineField(line, 0, Delim()).compare(component, Qt::CaseInsensitive) != 0)
            continue;
        const int charset = CharsetOfName(ActiveValue(line, nullptr), cs);
        if (charset >= 0)
            target->SetCharset(static_cast<tk::TFontCharset>(charset));
        return;
    }
}

void TCustomTranslator::ApplyWindowFont() {
    TForm* form = OwnerForm();
    const QString className = OwnerClassName();
    if (FDoNotTranslate->Contains(className) || IsSmartExcluded(className, QStringLiteral("Font")))
        return;
    QObject* font = form->Font();
    if (Fonts()->Count() > 0) {
        const QString line = Fonts()->Strings(0);
        int language = 1;
        const QString value = ActiveValue(line, &language);
        if (LineField(line, 0, Delim()).compare(className, Qt::CaseInsensitive) == 0 && !value.isEmpty())
            form->Font()->SetName(DecodeValue(value, language));
    }
    SetFontCharset(font, className, Qt::CaseSensitive);
}

void TCustomTranslator::ApplyList(int kind) {
    TStrings* list = ListOfKind(kind);
    if (!list)
        return;
    const QStringList lines = list->List();
    qsizetype start = 0;
    if ((kind == stCaptions || kind == stHints || kind == stFonts) && OwnerForm() && !lines.isEmpty() &&
        !FDoNotTranslate->Contains(OwnerClassName()) &&
        LineField(lines.first(), 0, Delim()).compare(OwnerClassName(), Qt::CaseInsensitive) == 0)
        start = 1;
    for (qsizetype i = start; i < lines.size(); ++i) {
        try {
            if (kind == stCollections)
                ApplyCollectionLine(lines[i]);
            else
                ApplyListLine(kind, lines[i]);
        } catch (const EListError&) {
            // An index that is not there skips its line.
        }
    }
}

void TCustomTranslator::ApplyListLine(int kind, const QString& line) {
    const QString key = LineField(line, 0, Delim());
    QString component = key;
    QString property;
    switch (kind) {
        case stCaptions:
            property = QStringLiteral("Caption");
            break;
        case stHints:
            property = QStringLiteral("Hint");
            break;
        case stDisplayLabels:
            property = QStringLiteral("DisplayLabel");
            break;
        case stFonts:
            property = QStringLiteral("Font");
            break;
        default:
            component = key.section(QLatin1Char('.'), 0, 0);
            property = key.section(QLatin1Char('.'), 1);
            if (property.isEmpty())
                return;
    }
    // A property the window sets itself stays as it is, whatever the lists hold.
    if (FDoNotTranslate->Contains(component) || IsSmartExcluded(component, property))
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    QObject* target = FindTarget(component);
    if (!target)
        return;
    const QStringList parts = property.split(QLatin1Char('.'));
    target = Descend(target, parts, parts.size() - 1);
    if (!target)
        return;
    const QMetaProperty meta = PropertyOf(target, parts.last());
    if (!meta.isValid() || !meta.isReadable())
        return;

    if (kind == stFonts) {
        auto* font = qobject_cast<TFont*>(meta.read(target).value<QObject*>());
        const QVariant parentFont = target->property("ParentFont");
        if (!font || (parentFont.isValid() && parentFont.toBool()))
            return;
        SetFontCharset(font, component, Qt::CaseInsensitive);
        if (!value.isEmpty())
            font->SetName(DecodeValue(value, language));
        return;
    }
    if (kind == stMultiLines) {
        auto* strings = qobject_cast<TStrings*>(meta.read(target).value<QObject*>());
        if (!strings || value.isEmpty())
            return;
        const QString text = DecodeValue(value, language);
        if (text == strings->CommaText())
            return;
        TStrings items;
        items.SetCommaText(text);
        const bool sorted = strings->Sorted();
        strings->SetSorted(false);
        const QVariant itemIndex = target->property("ItemIndex");
        const bool memo = parts.last() == QLatin1String("Lines") && target->property("WordWrap").isValid();
        const bool wordWrap = memo && target->property("WordWrap").toBool();
        if (memo)
            target->setProperty("WordWrap", false);
        OverwriteStrings(strings, items.List(), true);
        strings->SetSorted(sorted);
        if (itemIndex.isValid())
            target->setProperty("ItemIndex", itemIndex);
        if (memo)
            target->setProperty("WordWrap", wordWrap);
        return;
    }
    // Captions, hints, display labels and other strings.
    if (value.isEmpty() || !meta.isWritable())
        return;
    try {
        if (meta.metaType().id() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toLatin1();
            if (bytes != meta.read(target).toByteArray())
                meta.write(target, bytes);
            return;
        }
        if (meta.metaType().id() != QMetaType::QString)
            return;
        const QString text = DecodeValue(value, language);
        const QString current = meta.read(target).toString();
        const bool paths = kind == stDisplayLabels || kind == stOtherStrings;
        if ((paths ? ExpandedPath(text) : text) != current)
            meta.write(target, text);
    } catch (const std::exception&) {
        // A control that refuses a text keeps its own; the next line follows.
    }
}

void TCustomTranslator::ApplyCollectionLine(const QString& line) {
    // component.Collection[index].ItemProperty[.Property]
    const QString key = LineField(line, 0, Delim());
    const QString component = key.section(QLatin1Char('.'), 0, 0);
    const QString rest = key.section(QLatin1Char('.'), 1);
    const qsizetype open = rest.indexOf(QLatin1Char('['));
    const qsizetype close = rest.indexOf(QLatin1Char(']'), open + 1);
    if (open <= 0 || close < 0 || rest.mid(close + 1, 1) != QLatin1String("."))
        return;
    bool ok = false;
    const int index = rest.mid(open + 1, close - open - 1).toInt(&ok);
    const QStringList parts = rest.mid(close + 2).split(QLatin1Char('.'));
    if (!ok || parts.first().isEmpty() || FDoNotTranslate->Contains(component))
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    QObject* target = FindTarget(component);
    if (value.isEmpty() || !target)
        return;
    const QMetaProperty collectionProperty = PropertyOf(target, rest.left(open));
    if (!collectionProperty.isReadable())
        return;
    auto* collection = dynamic_cast<ICollection*>(collectionProperty.read(target).value<QObject*>());
    if (!collection)
        return;
    QObject* item = Descend(collection->Item(index), parts, parts.size() - 1);
    if (!item)
        return;
    WriteTypedValue(item, PropertyOf(item, parts.last()), DecodeValue(value, language));
}

void TCustomTranslator::ApplyExtendedTranslations() {
    for (int i = 0; i < FExtendedTranslations->Count(); ++i) {
        const TExtendedItem* item = FExtendedTranslations->Items(i);
        // The values carry no key: language n is field n-1.
        const QString values = QString::fromLatin1(item->ValuesEx());
        int language = 1;
        const QString value = FallbackValue([&](int n) { return LineField(values, n - 1, Delim()); },
                                            TFallback::Extended, &language);
        QObject* target = nullptr;
        QMetaProperty property;
        if (value.isEmpty() || !ResolveIdentifier(item->Identifier(), &target, &property))
            continue;
        WriteTypedValue(target, property, DecodeValue(value, language));
    }
}
