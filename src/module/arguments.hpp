// The single argument of every module function, with the interpreter's TypeErrors.
#pragma once

#include <string_view>

#include "module/py_ref.hpp"
#include "module/python.hpp"
#include "module/str_text.hpp"

namespace lorvane {

// The value of `parameter` (borrowed), or null with TypeError set.
PyObject* extract_argument(const char* function, const char* parameter, PyObject* args,
                           PyObject* kwargs);

// The UTF-8 text of a request_json argument, read in place (no copy of a large request
// beyond the one the interpreter may have to make).
using RequestText = Utf8Text;

// False with TypeError or the interpreter's UnicodeEncodeError set.
bool request_text(PyObject* value, RequestText& out);

}  // namespace lorvane
