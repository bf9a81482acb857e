#include "toolkit/TClassRegistry.h"

#include "toolkit/TApplicationEvents.h"
#include "toolkit/TButton.h"
#include "toolkit/TCheckBox.h"
#include "toolkit/TComboBox.h"
#include "toolkit/TImage.h"
#include "toolkit/TJPEGImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPageControl.h"
#include "toolkit/TPanel.h"
#include "toolkit/TPicture.h"
#include "toolkit/TShape.h"
#include "toolkit/TTabSheet.h"

#include <QHash>

namespace {

struct TEntry {
    bool IsControl = false;
    TClassRegistry::TFactory Factory;
};

QHash<QString, TEntry>& Classes() {
    static QHash<QString, TEntry> classes;
    return classes;
}

// The toolkit's own classes are known from the first look-up on, without
// relying on the order in which static libraries initialise.
void RegisterToolkitClasses() {
    static bool done = false;
    if (done)
        return;
    done = true;
    TClassRegistry::RegisterClass<TLabel>();
    TClassRegistry::RegisterClass<TPanel>();
    TClassRegistry::RegisterClass<TImage>();
    TClassRegistry::RegisterClass<TApplicationEvents>();
    TClassRegistry::RegisterClass<TButton>();
    TClassRegistry::RegisterClass<TShape>();
    TClassRegistry::RegisterClass<TPageControl>();
    TClassRegistry::RegisterClass<TTabSheet>();
    TClassRegistry::RegisterClass<TComboBox>();
    TClassRegistry::RegisterClass<TCheckBox>();
    TPicture::RegisterGraphicClass(QStringLiteral("TJPEGImage"), &TJPEGImage::Decode);
}

}  // namespace

void TClassRegistry::Register(const QString& className, bool isControl, TFactory factory) {
    Classes().insert(className.toLower(), TEntry{isControl, std::move(factory)});
}

QStringList TClassRegistry::ClassNames() {
    RegisterToolkitClasses();
    return Classes().keys();
}

TClassRegistry::TFactory TClassRegistry::Find(const QString& className, bool* isControl) {
    RegisterToolkitClasses();
    const auto it = Classes().constFind(className.toLower());
    if (it == Classes().cend())
        return nullptr;
    if (isControl)
        *isControl = it->IsControl;
    return it->Factory;
}
