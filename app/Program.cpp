#include "app/Program.h"

#include "app/TfrmMain.h"
#include "platform/NamedMutex.h"
#include "toolkit/TApplication.h"

int RunProgram() {
    // Marks the program as running for installers; a second instance carries on.
    static const std::unique_ptr<INamedMutex> mutex = CreateNamedMutex(QStringLiteral("KESTRELWEAVE"));

    TApplication application;
    try {
        application.Initialize();
        application.SetTitle(QStringLiteral("Tessaly Manager"));
        application.CreateForm(frmMain);
        application.Run();
    } catch (...) {
        application.HandleException(std::current_exception());
    }
    return 0;
}
