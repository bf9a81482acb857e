#include "settings/SharedServices.h"

#include "platform/Files.h"
#include "platform/Shell.h"
#include "settings/SiteLinks.h"
#include "settings/TRegedit.h"

#include <QDir>

#include <new>

QString GetMakerFolder() {
    QString root = ProgramRootFolder();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    const QString candidate = root + QStringLiteral("Kestrelweave");
    if (ForceDirectories(candidate))
        return candidate + QLatin1Char('/');
    return root;
}

QString EncodeMailLink(const QString& link) {
    try {
        QString encoded;
        encoded.reserve(link.size() + link.size() / 4);
        for (const QChar c : link) {
            if (c == QLatin1Char(' '))
                encoded += QLatin1String("%20");
            else if (c == QLatin1Char('\n'))
                encoded += QLatin1String("%0d%0a");
            else
                encoded += c;
        }
        return encoded;
    } catch (const std::bad_alloc&) {
        return link;
    }
}

QString SupportMailLink(const QString& subject) {
    return EncodeMailLink(QStringLiteral("mailto:") + SupportMailbox() + QStringLiteral("?Subject=") +
                          subject + QStringLiteral("&body=Hello Kestrelweave Support\n\n\nBest regards"));
}

void OpenNamedLink(const QString& name) {
    QString target;
    {
        TRegedit links(LinksKey(), HKEY_LOCAL_MACHINE);
        target = links.ReadString(name, SiteBaseURL());
    }
    ShellExecuteDefault(target);
}
