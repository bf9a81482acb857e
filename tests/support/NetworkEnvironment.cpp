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

QString WhyTransportCannot(TTransportLimit limit) {
    if (InternetTransportName() != QLatin1String("WinInet"))
        return {};
    switch (limit) {
        case TTransportLimit::ChunkedBodyCut:
            return QStringLiteral(
                "WinInet (as Wine has it) hands a chunked body that breaks off before its last chunk "
                "over as complete; only a stated SHA-256 tells such a file from a whole one");
        case TTransportLimit::ProxyForLoopback:
            return QStringLiteral(
                "WinInet (as Wine has it) reaches loopback addresses directly whatever the proxy "
                "settings say; it does not read <-loopback> in the bypass list");
        case TTransportLimit::UnfinishedAnswer:
            return QStringLiteral(
                "WinInet reads an answer's headers within HttpSendRequest and says nothing of them "
                "before they have ended, so headers that stop coming before their end look like no "
                "answer");
    }
    return {};
}
