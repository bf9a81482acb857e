#pragma once

#include <QByteArray>
#include <QString>

// The text a translator's lists are stored as (the TranslationData property, and
// the same inside a translation file): a section line naming a list kind, then
// that kind's entry lines, each ended by CR LF. An entry is a key and one value
// per language, each followed by the translator's delimiter. A CR or LF inside a
// key or value is stored as a stand-in byte, so that lines stay lines.
namespace TranslationDataFormat {

inline constexpr char16_t CarriageReturnStandIn = 0x19;
inline constexpr char16_t LineFeedStandIn = 0x1A;
inline constexpr char LineEnd[] = "\r\n";

// The section names in stored order, as the translator numbers its kinds
// (stCaptions 0 ... stListView_TreeView_Items 11).
inline constexpr int KindCount = 12;
extern const char* const KindNames[KindCount];
// The kind a section line names, letter case ignored; -1 for an entry line.
int KindOfName(const QString& line);

// A key or value as stored, and back.
QString Escape(QString text);
QByteArray Escape(QByteArray bytes);
QString Unescape(QString text);

}  // namespace TranslationDataFormat
