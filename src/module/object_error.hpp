// The error of reading a Python request or building a Python result.
#pragma once

#include <string>
#include <string_view>

#include "module/py_ref.hpp"

namespace lorvane {

struct ObjectError {
    // The display text that follows "invalid request: " or "could not build result: ".
    std::string text;
    // Set when the interpreter raised something that is not an Exception (KeyboardInterrupt,
    // SystemExit, GeneratorExit): it is restored unchanged instead of being wrapped.
    PyRef pending_type, pending_value, pending_traceback;

    bool propagates() const noexcept { return static_cast<bool>(pending_type); }

    static ObjectError message(std::string text) { return {std::move(text), {}, {}, {}}; }
    static ObjectError unexpected_type(PyObject* value, std::string_view expected);
    // Takes the interpreter's pending exception: "TypeName: str(exception)".
    static ObjectError from_interpreter();
};

// Raises the error as ValueError(prefix + text), or restores a propagating exception.
void raise_object_error(ObjectError&& error, const char* prefix);

// The qualified name of an object's type as UTF-8 ("int", "Outer.<locals>.Inner").
std::string type_qualname(PyObject* object);

// UTF-8 text of a str with the strict encoder; false with the interpreter's error pending.
bool str_to_utf8(PyObject* text, std::string& out);

}  // namespace lorvane
