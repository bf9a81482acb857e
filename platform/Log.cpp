#include "platform/Log.h"

Q_LOGGING_CATEGORY(lcRegistry, "kw.registry", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSignature, "kw.signature", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShell, "kw.shell", QtInfoMsg)
