#include "toolkit/TScreen.h"

#include <QFile>
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
    // Regular and bold faces of the metric-compatible copies, by family.
    struct TFace {
        const char* Family;
        const char* Files[2];
    };
    static constexpr TFace kFaces[] = {
        {"Tahoma", {"tahoma.ttf", "tahomabd.ttf"}},
        {"MS Sans Serif", {"ms_sans_serif.ttf", nullptr}},
    };
    static constexpr const char* kFolders[] = {"/usr/share/wine/fonts/", "/usr/share/fonts/truetype/wine/"};
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
}
