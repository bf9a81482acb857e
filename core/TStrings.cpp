#include "core/TStrings.h"

#include <algorithm>

namespace {

bool LessNoCase(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

bool IsBlank(QChar c) {
    return c.unicode() <= ' ';
}

}  // namespace

void TStrings::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

void TStrings::Change() {
    if (FUpdateCount > 0) {
        FChangedWhileUpdating = true;
        return;
    }
    Q_EMIT Changed();
}

void TStrings::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FChangedWhileUpdating) {
        FChangedWhileUpdating = false;
        Q_EMIT Changed();
    }
}

void TStrings::Sort() {
    std::stable_sort(FList.begin(), FList.end(), LessNoCase);
}

QString TStrings::Strings(int index) const {
    CheckIndex(index);
    return FList.at(index);
}

void TStrings::SetStrings(int index, const QString& value) {
    CheckIndex(index);
    FList[index] = value;
    if (FSorted)
        Sort();
    Change();
}

int TStrings::Add(const QString& value) {
    int index = Count();
    if (FSorted)
        index =
            static_cast<int>(std::upper_bound(FList.begin(), FList.end(), value, LessNoCase) - FList.begin());
    FList.insert(index, value);
    Change();
    return index;
}

void TStrings::Insert(int index, const QString& value) {
    if (index < 0 || index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    FList.insert(index, value);
    Change();
}

void TStrings::Delete(int index) {
    CheckIndex(index);
    FList.removeAt(index);
    Change();
}

void TStrings::Move(int from, int to) {
    CheckIndex(from);
    CheckIndex(to);
    if (from == to)
        return;
    FList.move(from, to);
    Change();
}

void TStrings::Clear() {
    if (FList.isEmpty())
        return;
    FList.clear();
    Change();
}

int TStrings::IndexOf(const QString& value) const {
    for (int i = 0; i < Count(); ++i)
        if (FList.at(i).compare(value, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TStrings::SetSorted(bool value) {
    if (FSorted == value)
        return;
    FSorted = value;
    if (FSorted) {
        Sort();
        Change();
    }
}

QString TStrings::Text() const {
    QString text;
    for (const QString& line : FList)
        text += line + QLatin1String("\r\n");
    return text;
}

void TStrings::SetText(const QString& value) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = value.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && value[end] != QLatin1Char('\r') && value[end] != QLatin1Char('\n'))
            ++end;
        lines.append(value.mid(start, end - start));
        if (end < size && value[end] == QLatin1Char('\r'))
            ++end;
        if (end < size && value[end] == QLatin1Char('\n'))
            ++end;
        start = end;
    }
    SetList(lines);
}

QString TStrings::CommaText() const {
    if (Count() == 1 && FList.first().isEmpty())
        return QStringLiteral("\"\"");
    QStringList items;
    for (const QString& item : FList) {
        const bool quote = std::any_of(item.begin(), item.end(), [](QChar c) {
            return IsBlank(c) || c == QLatin1Char('"') || c == QLatin1Char(',');
        });
        if (quote) {
            QString quoted = item;
            quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
            items.append(QLatin1Char('"') + quoted + QLatin1Char('"'));
        } else {
            items.append(item);
        }
    }
    return items.join(QLatin1Char(','));
}

void TStrings::SetCommaText(const QString& value) {
    QStringList items;
    const qsizetype size = value.size();
    qsizetype p = 0;
    auto skipBlanks = [&] {
        while (p < size && IsBlank(value[p]))
            ++p;
    };
    skipBlanks();
    while (p < size) {
        QString item;
        if (value[p] == QLatin1Char('"')) {
            ++p;
            while (p < size) {
                if (value[p] == QLatin1Char('"')) {
                    if (p + 1 < size && value[p + 1] == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += value[p++];
            }
        } else {
            const qsizetype start = p;
            while (p < size && !IsBlank(value[p]) && value[p] != QLatin1Char(','))
                ++p;
            item = value.mid(start, p - start);
        }
        items.append(item);
        skipBlanks();
        if (p < size && value[p] == QLatin1Char(',')) {
            ++p;
            if (p == size)
                items.append(QString());
            skipBlanks();
        }
    }
    SetList(items);
}

void TStrings::SetList(const QStringList& value) {
    FList = value;
    if (FSorted)
        Sort();
    Change();
}

bool TStrings::ReadDefinedProperty(const QString& name, const TStreamValue& value) {
    if (name.compare(QLatin1String("Strings"), Qt::CaseInsensitive) != 0)
        return false;
    if (value.Kind != TStreamValue::vaList)
        throw EReadError(QStringLiteral("Invalid property value %1").arg(value.Describe()));
    QStringList lines;
    for (const TStreamValue& item : value.List) {
        if (!item.IsString())
            throw EReadError(QStringLiteral("Invalid property value %1").arg(item.Describe()));
        lines.append(item.Text);
    }
    SetList(lines);
    return true;
}
