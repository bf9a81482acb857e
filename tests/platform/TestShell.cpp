#include "platform/Shell.h"

#include "tests/support/AppFixture.h"
#include "tests/support/ShellRecorder.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

class ShellTest : public testing::Test {
protected:
    TShellRecorder FShell;
};

// The target, its parameters, and the call recorded: the program's own path and
// arguments for an executable, the opener's one argument for everything else.
struct TShellCase {
    const char* Name;
    std::function<QString(const TShellRecorder&)> Target;
    QStringList Parameters;
    std::function<QStringList(const TShellRecorder&)> Expected;
};

class ShellCases : public ShellTest, public testing::WithParamInterface<TShellCase> {};

TEST_P(ShellCases, StartsProgramsAndHandsTheRestToTheOpener) {
    const QString target = GetParam().Target(FShell);
    ShellExecuteDefault(target, GetParam().Parameters);
    std::vector<QStringList> expected;
    const QStringList call = GetParam().Expected(FShell);
    if (!call.isEmpty())
        expected.push_back(call);
    EXPECT_EQ(FShell.CallsSettled(expected.size()), expected);
}

QString Program(const TShellRecorder& shell) {
    return shell.MakeProgram(QStringLiteral("tool"));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ShellCases,
    testing::Values(
        TShellCase{"ProgramWithArguments",
                   Program,
                   {QStringLiteral("/tmp/My Setup.exe"), QStringLiteral("; rm -rf $HOME"), QString()},
                   [](const TShellRecorder& s) {
                       return QStringList{s.Folder() + QStringLiteral("/tool"),
                                          QStringLiteral("/tmp/My Setup.exe"),
                                          QStringLiteral("; rm -rf $HOME"), QString()};
                   }},
        TShellCase{"ProgramFoundOnPath",
                   [](const TShellRecorder& s) {
                       s.MakeProgram(QStringLiteral("kw-editor"));
                       return QStringLiteral("kw-editor");
                   },
                   {QStringLiteral("x")},
                   [](const TShellRecorder& s) {
                       return QStringList{s.Folder() + QStringLiteral("/kw-editor"), QStringLiteral("x")};
                   }},
        TShellCase{
            "WebAddress",
            [](const TShellRecorder&) { return QStringLiteral("http://www.kestrelweave.com"); },
            {QStringLiteral("ignored")},
            [](const TShellRecorder&) { return QStringList{QStringLiteral("http://www.kestrelweave.com")}; }},
        TShellCase{
            "MailLink",
            [](const TShellRecorder&) { return QStringLiteral("mailto:a@b.example?Subject=x%20y&body=z"); },
            {},
            [](const TShellRecorder&) {
                return QStringList{QStringLiteral("mailto:a@b.example?Subject=x%20y&body=z")};
            }},
        TShellCase{"DocumentWithoutExecuteRight",
                   [](const TShellRecorder& s) {
                       const QString path = s.Folder() + QStringLiteral("/Setup $(id).exe");
                       QFile file(path);
                       (void)file.open(QIODevice::WriteOnly);
                       return path;
                   },
                   {QStringLiteral("ignored")},
                   [](const TShellRecorder& s) {
                       return QStringList{s.Folder() + QStringLiteral("/Setup $(id).exe")};
                   }},
        TShellCase{"FolderGoesToTheOpener",
                   [](const TShellRecorder& s) { return s.Folder(); },
                   {},
                   [](const TShellRecorder& s) { return QStringList{s.Folder()}; }},
        TShellCase{"EmptyTargetDoesNothing",
                   [](const TShellRecorder&) { return QString(); },
                   {},
                   [](const TShellRecorder&) { return QStringList(); }}),
    [](const testing::TestParamInfo<TShellCase>& row) { return std::string(row.param.Name); });

// Each way a start fails, as the caller learns it. `Opener` is the desktop opener's
// script ("" for the recording one; none at all for nullptr).
struct TFailedStartCase {
    const char* Name;
    std::function<QString(const TShellRecorder&)> Target;
    const char* Opener;
    TStartFailure Failure;
};

class FailedStarts : public ShellTest, public testing::WithParamInterface<TFailedStartCase> {};

QString File(const TShellRecorder& shell, const char* name, const QByteArray& bytes, bool executable) {
    QFile file(shell.Folder() + QLatin1Char('/') + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file.fileName();
}

TEST_P(FailedStarts, SayWhyAndStartNothing) {
    const TFailedStartCase& c = GetParam();
    const TTempFolder openers;
    std::optional<TScopedEnv> path;
    if (!c.Opener)
        path.emplace("PATH", QFile::encodeName(openers.Path()));
    else if (*c.Opener)
        path.emplace("PATH", QFile::encodeName(openers.Path()) + ':' + qgetenv("PATH"));
    if (c.Opener && *c.Opener)
        QFile::setPermissions(openers.Write(QStringLiteral("xdg-open"), c.Opener),
                              QFile::ReadOwner | QFile::ExeOwner);
    const TStartResult result = ShellExecuteDefault(c.Target(FShell), {QStringLiteral("x")});
    EXPECT_EQ(result.Failure, c.Failure);
    if (c.Failure == TStartFailure::OpenerMissing) {
        EXPECT_EQ(result.Opener, QStringLiteral("xdg-open"));
    }
    path.reset();
    EXPECT_EQ(FShell.CallsSettled(0), (std::vector<QStringList>{}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailedStarts,
    testing::Values(
        TFailedStartCase{"FileGone",
                         [](const TShellRecorder& s) { return s.Folder() + QStringLiteral("/gone"); }, "",
                         TStartFailure::FileMissing},
        TFailedStartCase{"ExecutableThatIsNoProgram",
                         [](const TShellRecorder& s) { return File(s, "tool", "MZ, but no program", true); },
                         "", TStartFailure::NoProgram},
        TFailedStartCase{"NoProgramForTheDocument",
                         [](const TShellRecorder& s) { return File(s, "setup.kwx", "x", false); },
                         "#!/bin/sh\nexit 3\n", TStartFailure::NoProgram},
        TFailedStartCase{"OpenerFails",
                         [](const TShellRecorder& s) { return File(s, "setup.kwx", "x", false); },
                         "#!/bin/sh\nexit 1\n", TStartFailure::Failed},
        TFailedStartCase{"NoOpener",
                         [](const TShellRecorder&) { return QStringLiteral("http://www.kestrelweave.com"); },
                         nullptr, TStartFailure::OpenerMissing}),
    [](const testing::TestParamInfo<TFailedStartCase>& row) { return std::string(row.param.Name); });

// The started program must not keep our files open (a lock held by a tool would
// outlive us) and must not stay our child (no zombie to reap, no tie to our exit).
TEST_F(ShellTest, StartedProgramIsDetachedAndInheritsNoFiles) {
    const QString probe = FShell.Folder() + QStringLiteral("/probe");
    const QString log = FShell.Folder() + QStringLiteral("/probe.log");
    QFile script(probe);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n"
        "if [ -e /proc/$$/fd/57 ]; then s=open; else s=closed; fi\n"
        "echo \"$s $PPID\" > \"$0.tmp\" && mv \"$0.tmp\" '" +
        QFile::encodeName(log) + "'\n");
    script.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const int fd = ::open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(fd, 57), 57);
    ::close(fd);
    ShellExecuteDefault(probe);
    ::close(57);

    // The intermediate process is gone by the time the call returns.
    QFile children(QStringLiteral("/proc/self/task/%1/children").arg(::gettid()));
    if (children.open(QIODevice::ReadOnly)) {
        EXPECT_EQ(children.readAll().trimmed(), QByteArray());
    }

    ASSERT_TRUE(WaitFor([&] { return QFile::exists(log); }));
    QFile result(log);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = result.readAll().trimmed().split(' ');
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0], "closed");
    EXPECT_NE(fields[1].toLongLong(), static_cast<qlonglong>(::getpid()));
}

}  // namespace
