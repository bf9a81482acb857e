// tessaly-sib: builds the program's translation file from gettext catalogues,
// exports a translation file to catalogues, and checks a translation file.

#include "core/Exception.h"
#include "i18n/files/TTranslationCatalogue.h"
#include "platform/Console.h"
#include "platform/Files.h"

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
    "       tessaly-sib export Translate.sib -o FOLDER\n"
    "       tessaly-sib check Translate.sib|CATALOGUE.po\n";

void Say(const QString& text) {
    WriteText(stdout, text + QLatin1Char('\n'));
}

void Complain(const QString& text) {
    WriteText(stderr, QStringLiteral("tessaly-sib: ") + text + QLatin1Char('\n'));
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
    QString reason;
    if (!ReplaceFile(temporary, place, &reason))
        fail(reason);
}

int Build(const QString& output, const QStringList& inputs) {
    QList<TPoFile> catalogues;
    for (const QString& input : inputs)
        catalogues.append(TPoFile::Read(input));
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
    try {
        return TTranslationCatalogue::ReadFile(path);
    } catch (const Exception& error) {
        throw Exception(path + QStringLiteral(": ") + error.Message());
    }
}

int Export(const QString& input, const QString& folder) {
    const TSibDescription file = ReadFile(input);
    if (!QDir().mkpath(folder))
        throw Exception(QStringLiteral("cannot create the folder %1").arg(folder));
    const QDir dir(folder);
    WriteFile(dir.filePath(QStringLiteral("tessaly-manager.pot")),
              TTranslationCatalogue::Export(file, 1).Write());
    QSet<QString> used;
    for (int language = 2; language <= file.Languages.size(); ++language) {
        const QString name = file.Languages[language - 1].Name;
        QString base = TTranslationCatalogue::LanguageCode(name);
        if (base.isEmpty())
            base = QStringLiteral("language%1").arg(language);
        for (int n = 2; used.contains(base); ++n)
            base = base.section(QLatin1Char('-'), 0, 0) + QLatin1Char('-') + QString::number(n);
        used.insert(base);
        const QString path = dir.filePath(base + QStringLiteral(".po"));
        WriteFile(path, TTranslationCatalogue::Export(file, language).Write());
        Say(QStringLiteral("%1: %2").arg(path, name));
    }
    return 0;
}

// A catalogue knows what is left to translate; a translation file holds English
// where a text was left untranslated, so it can only tell texts that read as in
// English.
int CheckCatalogue(const QString& input) {
    const TPoFile po = TPoFile::Read(input);
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

int Run(const QStringList& args) {
    const QString command = args.value(0);
    if (command == QLatin1String("build") && args.size() >= 3 && args[1] == QLatin1String("-o"))
        return Build(args[2], args.mid(3));
    if (command == QLatin1String("export") && args.size() == 4 && args[2] == QLatin1String("-o"))
        return Export(args[1], args[3]);
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
