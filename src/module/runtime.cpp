#include "module/runtime.hpp"

#include <cstdint>
#include <cstdlib>

#include "module/python.hpp"

#if defined(__unix__) || defined(__APPLE__)
#include <dlfcn.h>
#endif

namespace lorvane {

bool running_at_least(long major, long minor) {
    const char* version = Py_GetVersion();  // "3.11.7 (main, ...)"
    char* end = nullptr;
    const long running_major = std::strtol(version, &end, 10);
    if (end == version || *end != '.') return false;
    const long running_minor = std::strtol(end + 1, nullptr, 10);
    return running_major > major || (running_major == major && running_minor >= minor);
}

void* runtime_symbol(const char* name) {
#if defined(__unix__) || defined(__APPLE__)
    return dlsym(RTLD_DEFAULT, name);
#else
    (void)name;
    return nullptr;
#endif
}

bool in_main_interpreter() {
    // The current interpreter's state: public from 3.9, and under another name in 3.8.
    // PyInterpreterState_GetID is in the stable ABI of 3.8; the main interpreter is 0.
    using GetState = PyInterpreterState* (*)();
    static const auto current = reinterpret_cast<GetState>([] {
        void* found = runtime_symbol("PyInterpreterState_Get");
        return found ? found : runtime_symbol("_PyInterpreterState_Get");
    }());
    if (!current) return true;  // no way to tell: only the main interpreter is assumed
    return PyInterpreterState_GetID(current()) == 0;
}

}  // namespace lorvane
