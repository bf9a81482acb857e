#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>
#include <QString>

// Reads a form description in the classic text form syntax:
//
//   object frmMain: TfrmMain
//     Caption = 'Tessaly'#13#10'Manager'      strings: quoted, #nn characters, + joins
//     Font.Style = [fsBold]                   sets
//     Items.Strings = ('one' 'two')           lists
//     Picture.Data = {0754426974...}          binary, in hex
//     Columns = <item Width = 3 end>          collections
//     object lblSite: TLabel ... end          contained components
//   end
//
// The text is UTF-8. Malformed text raises EReadError naming the source and line.
class TTextFormParser {
public:
    static TStreamComponent Parse(const QByteArray& text, const QString& sourceName = QString());
};
