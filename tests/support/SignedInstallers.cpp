#include "tests/support/SignedInstallers.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

QString SignedInstallers() {
    static QString folder;
    if (!folder.isEmpty())
        return folder;
    if (qEnvironmentVariableIsSet("KW_TEST_SIGNED_INSTALLERS"))
        return folder = qEnvironmentVariable("KW_TEST_SIGNED_INSTALLERS");
    // Kept for the program's life, and removed with it.
    static const TTempFolder made;
    QProcess script;
    script.start(QStandardPaths::findExecutable(QStringLiteral("python3")),
                 {QStringLiteral(KW_TEST_SOURCE_DIR "/support/signed_installers.py"), made.Path()});
    if (script.waitForFinished(120000) && script.exitStatus() == QProcess::NormalExit &&
        script.exitCode() == 0)
        folder = made.Path();
    else
        ADD_FAILURE() << "signed_installers.py failed: " << script.readAllStandardError().toStdString();
    return folder;
}
