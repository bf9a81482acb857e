#include "tests/support/ShellRecorder.h"

#include "platform/Shell.h"
#include "tests/support/AppFixture.h"

#include <QFile>

namespace {

// Writes its arguments as one line, separated by the unit separator (0x1F). The
// temporary name and rename keep a half-written line from being read.
QByteArray RecorderScript(const QString& log, bool withSelf) {
    QByteArray script = "#!/bin/sh\nline=\"\"\nsep=\"\"\n";
    if (withSelf)
        script += "line=\"$0\"\nsep=\"$(printf '\\037')\"\n";
    script += "for a in \"$@\"; do line=\"$line$sep$a\"; sep=\"$(printf '\\037')\"; done\n";
    script += "printf '%s\\n' \"$line\" >> '" + QFile::encodeName(log) + "'\n";
    return script;
}

QString WriteScript(const TTempFolder& folder, const QString& name, const QByteArray& body) {
    const QString path = folder.Write(name, body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return path;
}

}  // namespace

TShellRecorder::TShellRecorder() : FLog(FFolder.FilePath(QStringLiteral("calls.log"))) {
    WriteScript(FFolder, QStringLiteral("xdg-open"), RecorderScript(FLog, false));
    FPath = std::make_unique<TScopedEnv>("PATH", QFile::encodeName(FFolder.Path()) + ':' + qgetenv("PATH"));
}

QString TShellRecorder::MakeProgram(const QString& name) const {
    return WriteScript(FFolder, name, RecorderScript(FLog, true));
}

std::vector<QStringList> TShellRecorder::Calls() const {
    std::vector<QStringList> calls;
    QFile file(FLog);
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            calls.push_back(QString::fromLocal8Bit(line).split(QChar(0x1F)));
    }
    return calls;
}

bool TShellRecorder::WaitForCalls(std::size_t count) const {
    return WaitFor([&] { return Calls().size() >= count; }, 30);
}

std::vector<QStringList> TShellRecorder::CallsSettled(std::size_t expected) const {
    const QString sentinel = MakeProgram(QStringLiteral("sentinel"));
    ShellExecuteDefault(sentinel);
    std::vector<QStringList> calls;
    WaitFor(
        [&] {
            calls = Calls();
            const std::size_t before = calls.size();
            std::erase_if(calls, [&](const QStringList& call) { return call.value(0) == sentinel; });
            return calls.size() < before && calls.size() >= expected;
        },
        30);
    return calls;
}
