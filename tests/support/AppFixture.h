#pragma once

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TApplication;

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

// Runs the event loop until `condition` holds or `seconds` pass; the caller
// asserts on the condition, so a slow machine only waits longer.
bool WaitFor(const std::function<bool()>& condition, int seconds = 20);

// Closes the next message box that appears, keeping its title, text and icon.
// Watches from Start until a box was closed or the watch goes out of scope.
struct TMessageBoxWatch {
    QString Title, Text;
    int Icon = -1;
    int Count = 0;
    void Start();

private:
    std::unique_ptr<QTimer> FTimer;
};
