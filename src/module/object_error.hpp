// The error of reading a Python request or building a Python result.
#pragma once

#include <string>
#include <string_view>

#include "module/py_ref.hpp"

namespace lorvane {

struct ObjectError {
    // The display text that follows "invalid request: " or "could not build result: ".
    std::string text;
    // Set when the interpreter raised what passes_through() lets through: it is restored
    // unchanged instead of being wrapped.
    PyRef pending_type, pending_value, pending_traceback;

    bool propagates() const noexcept { return static_cast<bool>(pending_type); }

    static ObjectError message(std::string text) { return {std::move(text), {}, {}, {}}; }
    static ObjectError unexpected_type(PyObject* value, std::string_view expected);
    // Takes the interpreter's pending exception: "TypeName: str(exception)".
    static ObjectError from_interpreter();
};

// Whether an exception of this type passes through a call unchanged instead of becoming
// part of a message: anything that is not an Exception, and the exhaustion of memory or
// of the stack (MemoryError, RecursionError), which says nothing about the request.
bool passes_through(PyObject* type);

// Raises the error as ValueError(prefix + text), or restores a propagating exception.
void raise_object_error(ObjectError&& error, const char* prefix);

// Sets an exception of `type` whose message is the whole of `text`: a message may quote
// the caller's text, NULs included, so it is never read as a C string.
void raise_text(PyObject* type, std::string_view text);

// The qualified name of an object's type as UTF-8 ("int", "Outer.<locals>.Inner").
std::string type_qualname(PyObject* object);

// UTF-8 text of a str with the strict encoder; false with the interpreter's error pending.
bool str_to_utf8(PyObject* text, std::string& out);

}  // namespace lorvane
