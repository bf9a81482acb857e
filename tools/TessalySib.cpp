// tessaly-sib: builds the program's translation file from gettext catalogues,
// exports a translation file to catalogues, and checks a translation file.

#include "core/Exception.h"
#include "i18n/files/TTranslationCatalogue.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <cstdio>
#include <stdexcept>

namespace {

const char* const kUsage =
    "usage: tessaly-sib build -o Translate.sib CATALOGUE.po...\n"
    "       tessaly-sib export Translate.sib -o FOLDER [--force]\n"
    "       tessaly-sib check Translate.sib|CATALOGUE.po\n"
    "build needs one catalogue or more. export writes no file that exists already\n"
    "unless --force is given. No output may be an input; inputs are regular files of\n"
    "at most 16 MB.\n";

// More than any translation file holds (the shipped one, twelve languages, is some
// tens of kilobytes), and little enough to read whole.
constexpr qint64 kMaxInputBytes = 16 * 1024 * 1024;

void Say(const QString& text) {
    WriteText(stdout, text + QLatin1Char('\n'));
}

void Complain(const QString& text) {
    WriteText(stderr, QStringLiteral("tessaly-sib: ") + text + QLatin1Char('\n'));
}

// The whole of the input `path`, refused with a sentence unless it is a regular file
// of at most kMaxInputBytes: a pipe or a device would have the tool wait or read for ever.
QByteArray ReadInput(const QString& path) {
    QByteArray bytes;
    TSystemError error;
    QString reason;
    switch (ReadRegularFile(path, kMaxInputBytes, &bytes, &error)) {
        case TFileReadResult::Read:
            return bytes;
        case TFileReadResult::NotRegular:
            reason = QStringLiteral("it is not a regular file");
            break;
        case TFileReadResult::TooLarge:
            reason = QStringLiteral("it is larger than 16 MB, the most the tool reads");
            break;
        case TFileReadResult::Failed:
            reason = error.Text;
            break;
    }
    throw Exception(QStringLiteral("cannot read %1: %2").arg(path, reason));
}

// Refuses, before anything is written, an output that would destroy what it names: one
// of the inputs (under its own name, a hard link or a symbolic link), a symbolic link
// that leads nowhere (replacing it would put a file where the link was), anything but a
// regular file, and unless `replace`, a file that exists.
void CheckOutput(const QString& path, const QStringList& inputs, bool replace) {
    const QFileInfo target(path);
    const auto refuse = [&path](const QString& reason) {
        throw Exception(QStringLiteral("cannot write %1: %2").arg(path, reason));
    };
    if (target.isSymbolicLink() && !target.exists())
        refuse(
            QStringLiteral("it is a symbolic link to %1, which does not exist").arg(target.symLinkTarget()));
    if (target.exists() && !target.isFile())
        refuse(QStringLiteral("it is not a regular file"));
    for (const QString& input : inputs)
        if (IsSameFile(path, input))
            refuse(QStringLiteral("it is the input %1").arg(input));
    if (!replace && target.exists())
        refuse(QStringLiteral("it exists (--force replaces it)"));
}

// Puts `bytes` in the place of the file `path` in one step: they are written beside it
// under a name of their own and renamed into its place, so that a write that fails
// leaves the file as it was and nothing beside it. Only a regular file, or a name
// that is free, is replaced: a folder, a pipe, a device or a socket stays.
void WriteFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        throw Exception(QStringLiteral("cannot write %1: it is not a regular file").arg(path));
    // Through a symbolic link, the file it leads to.
    const QString place = target.exists() ? target.canonicalFilePath() : path;
    // A name of its own beside the file, then written unbuffered, so that a refused
    // write says why in the system's words ("File too large").
    QString temporary;
    {
        QTemporaryFile reserved(place + QStringLiteral(".XXXXXX"));
        if (!reserved.open())
            throw Exception(QStringLiteral("cannot write %1: %2").arg(path, reserved.errorString()));
        reserved.setAutoRemove(false);
        temporary = reserved.fileName();
    }
    QFile file(temporary);
    const auto fail = [&](const QString& reason) {
        file.close();
        QFile::remove(temporary);
        throw Exception(QStringLiteral("cannot write %1: %2").arg(path, reason));
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        fail(file.errorString());
    // As a file made in the usual way would be, or as the one it replaces.
    file.setPermissions(target.exists() ? target.permissions()
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            fail(file.errorString());
        done += written;
    }
    file.close();
    TSystemError reason;
    if (!ReplaceFile(temporary, place, &reason))
        fail(reason.Text);
}

int Build(const QString& output, const QStringList& inputs) {
    QList<TPoFile> catalogues;
    for (const QString& input : inputs)
        catalogues.append(TPoFile::Parse(ReadInput(input), input));
    CheckOutput(output, inputs, true);
    QStringList warnings;
    const TSibDescription file = TTranslationCatalogue::Build(catalogues, &warnings);
    for (const QString& warning : std::as_const(warnings))
        Complain(warning);
    WriteFile(output, TSibGenerator::File(file));
    Say(QStringLiteral("%1: %2 languages").arg(output).arg(file.Languages.size()));
    return 0;
}

// The reader's message, naming the file it is about.
TSibDescription ReadFile(const QString& path) {
    const QByteArray bytes = ReadInput(path);
    try {
        return TTranslationCatalogue::ParseFile(bytes, path);
    } catch (const Exception& error) {
        throw Exception(path + QStringLiteral(": ") + error.Message());
    }
}

// Every file is checked before the first is written, so that a refusal leaves the
// folder as it was.
int Export(const QString& input, const QString& folder, bool replace) {
    const TSibDescription file = ReadFile(input);
    const QDir dir(folder);
    QStringList paths{dir.filePath(QStringLiteral("tessaly-manager.pot"))};
    QSet<QString> used;
    for (int language = 2; language <= file.Languages.size(); ++language) {
        QString base = TTranslationCatalogue::LanguageCode(file.Languages[language - 1].Name);
        if (base.isEmpty())
            base = QStringLiteral("language%1").arg(language);
        for (int n = 2; used.contains(base); ++n)
            base = base.section(QLatin1Char('-'), 0, 0) + QLatin1Char('-') + QString::number(n);
        used.insert(base);
        paths.append(dir.filePath(base + QStringLiteral(".po")));
    }
    for (const QString& path : std::as_const(paths))
        CheckOutput(path, {input}, replace);
    if (!QDir().mkpath(folder))
        throw Exception(QStringLiteral("cannot create the folder %1").arg(folder));
    for (int language = 1; language <= paths.size(); ++language) {
        WriteFile(paths[language - 1], TTranslationCatalogue::Export(file, language).Write());
        if (language > 1)
            Say(QStringLiteral("%1: %2").arg(paths[language - 1], file.Languages[language - 1].Name));
    }
    return 0;
}

// A catalogue knows what is left to translate; a translation file holds English
// where a text was left untranslated, so it can only tell texts that read as in
// English.
int CheckCatalogue(const QString& input) {
    const TPoFile po = TPoFile::Parse(ReadInput(input), input);
    TTranslationCatalogue::Validate(po, input.endsWith(QLatin1String(".pot"))
                                            ? TTranslationCatalogue::TCatalogueKind::Template
                                            : TTranslationCatalogue::TCatalogueKind::Translation);
    int translated = 0, fuzzy = 0;
    for (const TPoEntry& entry : po.Entries) {
        translated += entry.Translated() ? 1 : 0;
        fuzzy += entry.Fuzzy() ? 1 : 0;
    }
    const qsizetype total = po.Entries.size();
    Say(QStringLiteral("%1: %2: %3% (%4 of %5 texts translated, %6 fuzzy, %7 untranslated)")
            .arg(input, po.Field(QStringLiteral("X-Language-Name")))
            .arg(total ? translated * 100 / total : 100)
            .arg(translated)
            .arg(total)
            .arg(fuzzy)
            .arg(total - translated - fuzzy));
    return 0;
}

int Check(const QString& input) {
    if (input.endsWith(QLatin1String(".po")) || input.endsWith(QLatin1String(".pot")))
        return CheckCatalogue(input);
    const TSibDescription file = ReadFile(input);
    const QList<TTranslationCatalogue::TCompleteness> languages = TTranslationCatalogue::Completeness(file);
    const qsizetype texts = TTranslationCatalogue::Export(file, 1).Entries.size();
    Say(QStringLiteral("%1: %2 languages, %3 windows, %4 texts")
            .arg(input)
            .arg(file.Languages.size())
            .arg(file.Windows.size())
            .arg(texts));
    if (!file.Languages.isEmpty())
        Say(QStringLiteral("  %1: the source").arg(file.Languages.first().Name));
    for (const TTranslationCatalogue::TCompleteness& language : languages) {
        const int present = language.Total - language.Missing;
        QString line = QStringLiteral("  %1: %2% (%3 of %4 texts")
                           .arg(language.Language)
                           .arg(language.Total ? present * 100 / language.Total : 100)
                           .arg(present)
                           .arg(language.Total);
        if (language.SameAsEnglish)
            line += QStringLiteral("; %1 read as in English").arg(language.SameAsEnglish);
        Say(line + QLatin1Char(')'));
    }
    return 0;
}

int Run(QStringList args) {
    const QString command = args.value(0);
    if (command == QLatin1String("build") && args.size() == 3 && args[1] == QLatin1String("-o"))
        Complain(QStringLiteral("build needs a catalogue to build %1 from").arg(args[2]));
    if (command == QLatin1String("build") && args.size() >= 4 && args[1] == QLatin1String("-o"))
        return Build(args[2], args.mid(3));
    const bool force = command == QLatin1String("export") && args.removeAll(QStringLiteral("--force")) > 0;
    if (command == QLatin1String("export") && args.size() == 4 && args[2] == QLatin1String("-o"))
        return Export(args[1], args[3], force);
    if (command == QLatin1String("check") && args.size() == 2)
        return Check(args[1]);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    try {
        return Run(QCoreApplication::arguments().mid(1));
    } catch (const Exception& error) {
        Complain(error.Message());
    } catch (const std::exception& error) {
        Complain(QString::fromUtf8(error.what()));
    }
    return 1;
}
