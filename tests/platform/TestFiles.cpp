#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThreadPool>

#include "platform/Files.h"
#include "platform/SystemError.h"
#include "tests/support/TempFolder.h"

namespace {

// A folder with one of everything: a file, a folder, links to each, a dangling link.
class FilesTest : public testing::Test {
protected:
    void SetUp() override {
        FFile = FFolder.Write(QStringLiteral("file.txt"), "text");
        FDir = FFolder.FilePath(QStringLiteral("dir"));
        ASSERT_TRUE(QDir().mkpath(FDir));
        ASSERT_TRUE(QFile::link(FFile, Path("link-to-file")));
        ASSERT_TRUE(QFile::link(FDir, Path("link-to-dir")));
        ASSERT_TRUE(QFile::link(Path("gone"), Path("dangling")));
    }
    QString Path(const char* name) const { return FFolder.FilePath(QLatin1String(name)); }

    TTempFolder FFolder;
    QString FFile, FDir;
};

TEST_F(FilesTest, ExistsTellsFilesFromFolders) {
    const TScopedEnv home("KW_FILES_TEST_DIR", FFolder.Path().toUtf8());
    const struct {
        const char* Name;
        QString Path;
        bool File, Dir;
    } rows[] = {
        {"file", FFile, true, false},
        {"folder", FDir, false, true},
        {"folder with a trailing slash", FDir + QLatin1Char('/'), false, true},
        {"link to a file", Path("link-to-file"), true, false},
        {"link to a folder", Path("link-to-dir"), false, true},
        {"dangling link", Path("dangling"), false, false},
        {"missing", Path("missing"), false, false},
        {"below a file", FFile + QStringLiteral("/x"), false, false},
        {"empty path", QString(), false, false},
        {"variables are not expanded", QStringLiteral("$KW_FILES_TEST_DIR/file.txt"), false, false},
        {"zero inside the path", FFile + QChar(0) + QStringLiteral("x"), false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(FileExists(row.Path), row.File);
        EXPECT_EQ(DirectoryExists(row.Path), row.Dir);
    }
}

TEST_F(FilesTest, ForceDirectoriesCreatesEveryMissingLevel) {
    EXPECT_TRUE(ForceDirectories(Path("a/b/c")));
    EXPECT_TRUE(DirectoryExists(Path("a/b/c")));
    EXPECT_TRUE(ForceDirectories(Path("a/b/c")));  // already there
    EXPECT_TRUE(ForceDirectories(Path("link-to-dir/sub")));
    EXPECT_TRUE(DirectoryExists(FDir + QStringLiteral("/sub")));

    EXPECT_FALSE(ForceDirectories(FFile));  // a file is in the way
    EXPECT_FALSE(ForceDirectories(FFile + QStringLiteral("/below")));
    EXPECT_FALSE(ForceDirectories(QString()));
    EXPECT_TRUE(FileExists(FFile));
}

TEST_F(FilesTest, DeleteFileRemovesOneFileOnly) {
    EXPECT_TRUE(DeleteFile(Path("link-to-file")));  // the link, not its target
    EXPECT_TRUE(FileExists(FFile));
    EXPECT_TRUE(DeleteFile(FFile));
    EXPECT_FALSE(FileExists(FFile));
    EXPECT_FALSE(DeleteFile(FFile));  // already gone
    EXPECT_FALSE(DeleteFile(FDir));
    EXPECT_TRUE(DirectoryExists(FDir));
    EXPECT_FALSE(DeleteFile(QString()));
}

TEST_F(FilesTest, ReplaceFilePutsTheNewFileInPlaceAndLeavesNoOtherName) {
    const QString fresh = FFolder.Write(QStringLiteral("fresh.part"), "new");
    TSystemError error;
    EXPECT_TRUE(ReplaceFile(fresh, FFile, &error)) << error.Text.toStdString();
    EXPECT_EQ(FFolder.Read(QStringLiteral("file.txt")), QByteArray("new"));
    EXPECT_EQ(QFile::symLinkTarget(Path("link-to-file")), FFile)
        << "the name is replaced, not the links to it";
    // Into a name that was free; a missing source changes nothing.
    EXPECT_TRUE(ReplaceFile(FFile, Path("moved.txt")));
    EXPECT_FALSE(ReplaceFile(Path("gone"), Path("moved.txt"), &error));
    EXPECT_EQ(error.Kind, TSystemErrorKind::NotFound) << error.Text.toStdString();
    EXPECT_EQ(FFolder.Read(QStringLiteral("moved.txt")), QByteArray("new"));
    // What was replaced goes in the background; then only the expected names are left.
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(QDir(FFolder.Path()).entryList(QDir::Files | QDir::System | QDir::Hidden),
              (QStringList{QStringLiteral("dangling"), QStringLiteral("link-to-file"),
                           QStringLiteral("moved.txt")}));
}

}  // namespace
