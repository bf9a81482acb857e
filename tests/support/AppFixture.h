#pragma once

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class TApplication;
class TForm;

// A registry of its own (both hives in a temporary folder) and an application
// object, as the program sets it up before it creates its main window.
class TAppFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a hive file in the registry editor's format.
    void WriteMachineHive(const QString& body) const;
    void WriteUserHive(const QString& body) const;
    QString MachineHivePath() const { return FRegistry.FilePath(QStringLiteral("machine.reg")); }

    TTempFolder FRegistry;
    TTempFolder FFiles;
    std::unique_ptr<TScopedEnv> FRegistryEnv;
    std::unique_ptr<TApplication> FApplication;
};

// The window of class TFormClass named `name` ("frmDownload") while it exists, as
// a show function's dialog does while it is up; null otherwise.
template <typename TFormClass>
TFormClass* OpenForm(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TFormClass*>(window); form && form->objectName() == QLatin1String(name))
            return form;
    return nullptr;
}

// Runs the event loop until `condition` holds or `seconds` pass; the caller
// asserts on the condition, so a slow machine only waits longer.
bool WaitFor(const std::function<bool()>& condition, int seconds = 20);

// Runs `show`, which shows a modal dialog and returns its result; `whileShown`
// runs once `dialog()` is up and active, as it is when the user gets to it. A
// dialog still open after two minutes is ended with 99, so a test fails instead
// of hanging.
int RunModal(const std::function<TForm*()>& dialog, const std::function<void()>& whileShown,
             const std::function<int()>& show);

// What the program logs while it lives, as "category: message" lines (the messages
// are not printed meanwhile). Messages of the calling thread and of any other.
class TLogCapture {
public:
    TLogCapture();
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;
    // The lines of `category` that contain `text`.
    QStringList Lines(const char* category, const QString& text = QString()) const;
};

// Closes the next message box that appears, keeping its title, text and icon.
// Watches from Start until a box was closed or the watch goes out of scope; with
// Every, closes and counts every box until then, keeping the last one's texts.
struct TMessageBoxWatch {
    bool Every = false;
    QString Title, Text;
    // What assistive technology reads as the box's description.
    QString Description;
    int Icon = -1;
    int Count = 0;
    void Start();

private:
    std::unique_ptr<QTimer> FTimer;
};
