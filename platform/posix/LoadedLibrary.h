#pragma once

#include <dlfcn.h>

// For the libraries the program loads on first use instead of linking (libcurl,
// libcrypto): `function` takes the address of `name` in `library`; false when the
// library lacks it.
template <typename T>
bool Resolve(void* library, const char* name, T& function) {
    function = reinterpret_cast<T>(::dlsym(library, name));
    return function != nullptr;
}
