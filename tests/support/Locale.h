#pragma once

#include "platform/CodePage.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

// Whether the locale variables choose the ANSI code page, as they do on Linux; on
// Windows it is the system's, one for the whole machine, which a test cannot change.
inline bool LocaleDecidesCodePage() {
    const TScopedEnv all("LC_ALL", "ru_RU.UTF-8");
    return SystemAnsiCodePage() == 1251;
}

#define KW_SKIP_UNLESS_LOCALE_DECIDES_CODE_PAGE() \
    if (!LocaleDecidesCodePage())                 \
    GTEST_SKIP() << "the ANSI code page is the system's here, and the locale cannot change it"
