#include "toolkit/TApplicationEvents.h"

#include "toolkit/TApplication.h"

TApplicationEvents::TApplicationEvents(QObject* owner) : TComponent(owner) {
    if (Application)
        Application->RegisterEvents(this);
}

TApplicationEvents::~TApplicationEvents() {
    if (Application)
        Application->UnregisterEvents(this);
}
