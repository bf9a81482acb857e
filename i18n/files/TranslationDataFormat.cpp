#include "i18n/files/TranslationDataFormat.h"

namespace TranslationDataFormat {

const char* const KindNames[KindCount] = {
    "stCaptions",   "stHints",        "stDisplayLabels", "stFonts",
    "stMultiLines", "stDlgsCaptions", "stStrings",       "stOtherStrings",
    "stLocales",    "stCollections",  "stCharSets",      "stListView_TreeView_Items",
};

int KindOfName(const QString& line) {
    for (int kind = 0; kind < KindCount; ++kind)
        if (line.compare(QLatin1String(KindNames[kind]), Qt::CaseInsensitive) == 0)
            return kind;
    return -1;
}

QString Escape(QString text) {
    return text.replace(QLatin1Char('\r'), QChar(CarriageReturnStandIn))
        .replace(QLatin1Char('\n'), QChar(LineFeedStandIn));
}

QByteArray Escape(QByteArray bytes) {
    return bytes.replace('\r', static_cast<char>(CarriageReturnStandIn))
        .replace('\n', static_cast<char>(LineFeedStandIn));
}

QString Unescape(QString text) {
    return text.replace(QChar(CarriageReturnStandIn), QLatin1Char('\r'))
        .replace(QChar(LineFeedStandIn), QLatin1Char('\n'));
}

}  // namespace TranslationDataFormat
