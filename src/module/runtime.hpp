// What the running interpreter offers beyond the stable ABI that the module is built for
// (that of 3.8): functions looked up by name when the module runs, and which interpreter
// of the process is running.
#pragma once

namespace lorvane {

// Whether the running interpreter is version major.minor or later.
bool running_at_least(long major, long minor);

// The interpreter's function of this name, or null where it has none or where functions
// cannot be looked up by name.
void* runtime_symbol(const char* name);

// False in a sub-interpreter. Must be called with the interpreter lock held.
bool in_main_interpreter();

}  // namespace lorvane
