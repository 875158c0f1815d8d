#pragma once

#include <dlfcn.h>

namespace zuna {

// Looks `name` up in a library opened with dlopen() and stores it in `function`, typed as
// the declaration it stands for; false when the library lacks it (an older version), so a
// loader can give up on the whole library rather than crash on first use.
template <typename Function>
bool resolveSymbol(void *library, const char *name, Function *function)
{
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

}  // namespace zuna
