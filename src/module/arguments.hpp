// The single argument of every module function, with the interpreter's TypeErrors.
#pragma once

#include <string>

#include "module/python.hpp"

namespace lorvane {

// The value of `parameter` (borrowed), or null with TypeError set.
PyObject* extract_argument(const char* function, const char* parameter, PyObject* args,
                           PyObject* kwargs);

// The UTF-8 text of a request_json argument; false with TypeError or the interpreter's
// UnicodeEncodeError set.
bool request_text(PyObject* value, std::string& out);

}  // namespace lorvane
