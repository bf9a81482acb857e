#include "tests/support/NetworkEnvironment.h"

#include <QtGlobal>

TNetworkEnvironment::TNetworkEnvironment() : FTimeouts(InternetTimeouts()) {
    for (std::size_t i = 0; i < Names.size(); ++i) {
        if (qEnvironmentVariableIsSet(Names[i]))
            FSaved[i] = qgetenv(Names[i]);
        qunsetenv(Names[i]);
    }
}

TNetworkEnvironment::~TNetworkEnvironment() {
    SetInternetTimeouts(FTimeouts);
    for (std::size_t i = 0; i < Names.size(); ++i) {
        if (FSaved[i])
            qputenv(Names[i], *FSaved[i]);
        else
            qunsetenv(Names[i]);
    }
}
