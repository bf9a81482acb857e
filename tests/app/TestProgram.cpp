// The whole program, from the entry point: no application object of a fixture.
#include "app/Program.h"
#include "app/TfrmMain.h"
#include "i18n/TLangDispatcher.h"
#include "settings/TRegedit.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TempFolder.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtEndian>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kHiveHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// Runs the program over a registry of its own. The main window, once it shows, is
// noted and closed; every message box is closed and counted.
class Program : public testing::Test {
protected:
    struct TRun {
        int Status = -1;
        bool WindowShown = false;
        int Boxes = 0;
        QString BoxText;
        int BoxIcon = -1;
        int Languages = 0;  // of the main window's dispatcher, while it showed
        QString FaqCaption;
    };

    TRun Run() {
        TScopedEnv env("KESTRELWEAVE_REGISTRY", FRegistry.Path().toUtf8());
        TRun run;
        TMessageBoxWatch boxes;
        boxes.Every = true;
        boxes.Start();
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (frmMain && frmMain->isVisible()) {
                run.WindowShown = true;
                if (auto* dispatcher =
                        qobject_cast<TLangDispatcher*>(frmMain->FindComponent(u"LangDispatcher1"_s)))
                    run.Languages = dispatcher->NumOfLanguages();
                run.FaqCaption = qobject_cast<TLabel*>(frmMain->FindComponent(u"lblFaq"_s))->Caption();
                frmMain->Close();
            }
        });
        closer.start(5);
        run.Status = RunProgram();
        run.Boxes = boxes.Count;
        run.BoxText = boxes.Text;
        run.BoxIcon = boxes.Icon;
        EXPECT_EQ(frmMain, nullptr);
        EXPECT_EQ(Application, nullptr);
        return run;
    }

    TTempFolder FRegistry;
};

// ---- Exit status ------------------------------------------------------------------------

struct TStatusRow {
    const char* Name;
    QByteArray MachineHive;  // empty: none
    int Status;
    bool WindowShown;
    const char* BoxText;  // a part of the one box's text; null: no box
};

const TStatusRow kStatusRows[] = {
    {"ClosedNormally", {}, 0, true, nullptr},
    {"DamagedMachineHive", "not a registry file", 1, false, "machine.reg"},
    {"WrongTypedAppPath",
     kHiveHeader +
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n\"AudioTrimmer\"=dword:00000001\r\n",
     1, false, "Invalid data type for 'AudioTrimmer'"},
};

class ProgramStatus : public Program, public testing::WithParamInterface<TStatusRow> {};

TEST_P(ProgramStatus, IsZeroOnlyWhenTheWindowShowedAndClosed) {
    const TStatusRow& row = GetParam();
    if (!row.MachineHive.isEmpty())
        FRegistry.Write(u"machine.reg"_s, row.MachineHive);
    const TRun run = Run();
    EXPECT_EQ(run.Status, row.Status);
    EXPECT_EQ(run.WindowShown, row.WindowShown);
    EXPECT_EQ(run.Boxes, row.BoxText ? 1 : 0);
    if (row.BoxText) {
        EXPECT_TRUE(run.BoxText.contains(QLatin1String(row.BoxText))) << run.BoxText.toStdString();
        EXPECT_EQ(run.BoxIcon, QMessageBox::Critical);
    }
    if (!row.MachineHive.isEmpty()) {
        EXPECT_EQ(FRegistry.Read(u"machine.reg"_s), row.MachineHive) << "a hive that failed is never written";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramStatus, testing::ValuesIn(kStatusRows),
                         [](const auto& row) { return std::string(row.param.Name); });

// Without a display the program says so in one line and ends with 1 instead of
// Qt's abort. A child process: the test's own application object is made already.
struct TDisplayRow {
    const char* Name;
    const char* Display;  // null: unset
};

const TDisplayRow kDisplayRows[] = {
    {"NoDisplaySet", nullptr},
    {"UnreachableDisplay", ":97"},
};

class ProgramWithoutDisplay : public testing::TestWithParam<TDisplayRow> {};

TEST_P(ProgramWithoutDisplay, SaysSoInOneLineAndEndsWithOne) {
    const QString program = qEnvironmentVariable("KW_TEST_BINARY_DIR") + u"/tessaly-manager"_s;
    if (!QFile::exists(program))
        GTEST_SKIP() << "the program is not built beside the tests";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    if (GetParam().Display)
        environment.insert(u"DISPLAY"_s, QLatin1String(GetParam().Display));
    TTempFolder registry;
    environment.insert(u"KESTRELWEAVE_REGISTRY"_s, registry.Path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, {});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 1);
    const QStringList lines =
        QString::fromLocal8Bit(child.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"tessaly-manager: cannot open the display"_s)) << lines[0].toStdString();
    if (GetParam().Display) {
        EXPECT_TRUE(lines[0].contains(QLatin1String(GetParam().Display))) << lines[0].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramWithoutDisplay, testing::ValuesIn(kDisplayRows),
                         [](const auto& row) { return std::string(row.param.Name); });

// ---- A damaged translation file -----------------------------------------------------------

// The translation file the build makes beside the program, and the offset of the
// directory entry of the window class `className` in it.
QByteArray ShippedTranslationFile() {
    QFile file(qEnvironmentVariable("KW_TEST_BINARY_DIR") + u"/Translate.sib"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets the stream offset of the directory's last entry (a window other than the
// main one) to `offset`.
QByteArray WithLastOffset(QByteArray file, quint32 offset) {
    const qsizetype header = file.indexOf('\0') + 1;
    qsizetype at = header;
    const int count = qFromLittleEndian<quint16>(file.constData() + at);
    at += 2;
    at += 2 + qFromLittleEndian<quint16>(file.constData() + at);
    for (int i = 0; i < count; ++i) {
        at += 2 + qFromLittleEndian<quint16>(file.constData() + at);
        if (i == count - 1)
            qToLittleEndian<quint32>(offset, file.data() + at);
        at += 4;
    }
    return file;
}

struct TDamagedFileRow {
    const char* Name;
    std::function<QByteArray(const QByteArray& good)> Damage;
    const char* Reason;  // what the reader says
};

const TDamagedFileRow kDamagedFiles[] = {
    {"Empty", [](const QByteArray&) { return QByteArray(); }, "Unrecognized stream format!"},
    {"Random",
     [](const QByteArray&) {
         QByteArray bytes(4096, '\0');
         QRandomGenerator random(7);
         for (char& byte : bytes)
             byte = char(random.bounded(256));
         return bytes;
     },
     "Unrecognized stream format!"},
    {"CutShortInTheHeader", [](const QByteArray& good) { return good.left(20); },
     "Unrecognized stream format!"},
    {"CutShortInTheStreams", [](const QByteArray& good) { return good.left(good.size() * 2 / 3); },
     "Error reading Translate.sib at byte"},
    {"BadHeader",
     [](const QByteArray& good) {
         QByteArray bytes = good;
         bytes[0] = 'X';
         return bytes;
     },
     "Unrecognized stream format!"},
    {"BadOffsetOfAnotherWindow", [](const QByteArray& good) { return WithLastOffset(good, 0x7FFFFFFF); },
     "Error reading Translate.sib at byte 2147483647"},
};

class DamagedTranslationFile : public Program, public testing::WithParamInterface<TDamagedFileRow> {};

TEST_P(DamagedTranslationFile, IsReportedAndTheProgramRunsInEnglish) {
    const QByteArray good = ShippedTranslationFile();
    ASSERT_FALSE(good.isEmpty()) << "the build makes Translate.sib beside the program";
    const TDamagedFileRow& row = GetParam();
    TTranslationFileBesideExecutable file(row.Damage(good));
    const QByteArray stored = kHiveHeader +
                              "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\r\n"
                              "\"LanguageIndex\"=dword:00000003\r\n";
    FRegistry.Write(u"user.reg"_s, stored);

    const TRun run = Run();
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.WindowShown);
    EXPECT_EQ(run.Languages, 1);
    EXPECT_EQ(run.FaqCaption, u"FAQ"_s) << "the design's English";
    EXPECT_EQ(run.Boxes, 1);
    const QString path =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u"/Translate.sib"_s);
    EXPECT_TRUE(run.BoxText.startsWith(u"The translation file %1 cannot be read: "_s.arg(path)))
        << run.BoxText.toStdString();
    EXPECT_TRUE(run.BoxText.contains(QLatin1String(row.Reason))) << run.BoxText.toStdString();
    EXPECT_TRUE(run.BoxText.endsWith(u" The program continues in English."_s)) << run.BoxText.toStdString();
    EXPECT_EQ(run.BoxIcon, QMessageBox::Critical);
    EXPECT_EQ(FRegistry.Read(u"user.reg"_s), stored) << "the stored language is kept";
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedTranslationFile, testing::ValuesIn(kDamagedFiles),
                         [](const auto& row) { return std::string(row.param.Name); });

}  // namespace
