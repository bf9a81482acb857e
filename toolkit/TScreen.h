#pragma once

#include "toolkit/Types.h"

#include <QCursor>
#include <QHash>
#include <QObject>
#include <QSet>

// Screen-wide resources: the cursors that controls show, by cursor id, and the
// font faces the windows are designed with.
class TScreen : public QObject {
    Q_OBJECT

public:
    QCursor Cursor(tk::TCursor id) const;
    // Replaces the cursor shown for `id` by every control that uses it.
    void SetCursor(tk::TCursor id, const QCursor& cursor);

    // Makes a design face available when the system lacks it but a metric-compatible
    // copy is installed (Debian's fonts-wine ships one for Tahoma), on Linux and for
    // the Windows program under Wine. Other faces fall back to the closest sans face
    // the system has.
    void EnsureFontFamily(const QString& family);

Q_SIGNALS:
    void CursorsChanged();

private:
    QHash<int, QCursor> FCursors;
    QSet<QString> FFamiliesTried;
};

TScreen* Screen();

// The system's own cursors, by their standard ids.
inline constexpr int IDC_ARROW = 32512;
inline constexpr int IDC_HAND = 32649;
QCursor LoadCursor(int id);
