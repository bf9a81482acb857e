#pragma once

#include "core/Exception.h"

// A failure of the localization runtime: a language index, count or name out of
// range, an unknown string id, a translation file that cannot be read.
class ELanguageError : public Exception {
public:
    using Exception::Exception;
};
