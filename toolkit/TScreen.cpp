#include "toolkit/TScreen.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>

using namespace tk;

TScreen* Screen() {
    static TScreen screen;
    return &screen;
}

QCursor LoadCursor(int id) {
    return QCursor(id == IDC_HAND ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

QCursor TScreen::Cursor(TCursor id) const {
    if (const auto it = FCursors.constFind(id); it != FCursors.cend())
        return *it;
    switch (id) {
        case crNone:
            return QCursor(Qt::BlankCursor);
        case crCross:
            return QCursor(Qt::CrossCursor);
        case crIBeam:
            return QCursor(Qt::IBeamCursor);
        case crSizeNESW:
            return QCursor(Qt::SizeBDiagCursor);
        case crSizeNS:
            return QCursor(Qt::SizeVerCursor);
        case crSizeNWSE:
            return QCursor(Qt::SizeFDiagCursor);
        case crSizeWE:
            return QCursor(Qt::SizeHorCursor);
        case crUpArrow:
            return QCursor(Qt::UpArrowCursor);
        case crHourGlass:
        case crSQLWait:
            return QCursor(Qt::WaitCursor);
        case crDrag:
        case crMultiDrag:
            return QCursor(Qt::DragCopyCursor);
        case crNoDrop:
        case crNo:
            return QCursor(Qt::ForbiddenCursor);
        case crHSplit:
            return QCursor(Qt::SplitHCursor);
        case crVSplit:
            return QCursor(Qt::SplitVCursor);
        case crAppStart:
            return QCursor(Qt::BusyCursor);
        case crHelp:
            return QCursor(Qt::WhatsThisCursor);
        case crHandPoint:
            return QCursor(Qt::PointingHandCursor);
        case crSizeAll:
            return QCursor(Qt::SizeAllCursor);
        default:
            return QCursor(Qt::ArrowCursor);
    }
}

void TScreen::SetCursor(TCursor id, const QCursor& cursor) {
    FCursors.insert(id, cursor);
    Q_EMIT CursorsChanged();
}

void TScreen::EnsureFontFamily(const QString& family) {
    if (FFamiliesTried.contains(family))
        return;
    FFamiliesTried.insert(family);
    if (QFontDatabase::hasFamily(family))
        return;
    // Regular and bold faces of the metric-compatible copies, by family.
    struct TFace {
        const char* Family;
        const char* Files[2];
    };
    static constexpr TFace kFaces[] = {
        {"Tahoma", {"tahoma.ttf", "tahomabd.ttf"}},
        {"MS Sans Serif", {"ms_sans_serif.ttf", nullptr}},
    };
    // Wine's own copies. Debian's Wine does not load them into its prefixes: it finds
    // them as "/usr/lib/wine/../../share/wine/fonts", and its file layer cannot open a
    // path with ".." in it, so a Windows program there has no Tahoma, and Qt and the
    // system both take the first face they list, a serif one (DejaVu Math TeX Gyre).
#ifdef Q_OS_WIN
    // Under Wine, whose drive Z: is the Linux root; Windows itself has the faces.
    static constexpr const char* kFolders[] = {"Z:/usr/share/wine/fonts/",
                                               "Z:/usr/share/fonts/truetype/wine/"};
#else
    static constexpr const char* kFolders[] = {"/usr/share/wine/fonts/", "/usr/share/fonts/truetype/wine/"};
#endif
    for (const TFace& face : kFaces) {
        if (family.compare(QLatin1String(face.Family), Qt::CaseInsensitive) != 0)
            continue;
        for (const char* folder : kFolders) {
            bool found = false;
            for (const char* file : face.Files) {
                if (!file)
                    continue;
                const QString path = QLatin1String(folder) + QLatin1String(file);
                if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0)
                    found = true;
            }
            if (found)
                return;
        }
    }
#ifdef Q_OS_WIN
    // Where no copy is found either, a sans face, as the design has.
    QFont::insertSubstitutions(family, {QStringLiteral("Segoe UI"), QStringLiteral("Arial"),
                                        QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
#endif
}
