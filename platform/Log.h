#pragma once

#include <QLoggingCategory>

// The program's log: one category per subject, "kw.<subject>", written by Qt's message
// handler (standard error unless one is installed). Warnings and information are on;
// debug messages only where QT_LOGGING_RULES asks ("kw.*.debug=true"). The platform
// layer reports to its caller, or here; it never prints by itself.
Q_DECLARE_LOGGING_CATEGORY(lcRegistry)   // kw.registry: reading and watching the hives
Q_DECLARE_LOGGING_CATEGORY(lcSignature)  // kw.signature: the verdicts on installers
Q_DECLARE_LOGGING_CATEGORY(lcShell)      // kw.shell: starting programs and opening files
