// The error of reading a Python request or building a Python result.
#pragma once

#include <string>
#include <string_view>

#include "common/result.hpp"
#include "module/py_ref.hpp"

namespace lorvane {

struct ObjectError {
    enum class Kind {
        message,  // text is the display text that follows "invalid request: " or
                  // "could not build result: "
        pending,  // the interpreter raised what passes_through() lets through: it is
                  // restored unchanged instead of being wrapped
        fault,    // an interpreter call failed without a reason to give: a fault
    };
    Kind kind = Kind::message;
    std::string text;
    PyRef pending_type, pending_value, pending_traceback;

    static ObjectError message(std::string text) { return {Kind::message, std::move(text), {}, {}, {}}; }
    static ObjectError unexpected_type(PyObject* value, std::string_view expected);
    // Takes the interpreter's pending exception: "TypeName: str(exception)".
    static ObjectError from_interpreter();
    // An interpreter constructor returned no object: memory ran out, which passes
    // through, or the interpreter faulted.
    static ObjectError not_made();
};

template <class T>
using ObjectResult = Result<T, ObjectError>;

// Whether an exception of this type passes through a call unchanged instead of becoming
// part of a message: anything that is not an Exception, and the exhaustion of memory or
// of the stack (MemoryError, RecursionError), which says nothing about the request.
bool passes_through(PyObject* type);

// Raises the error as ValueError(prefix + text), restores a pending exception, or
// raises the fault. Returns null, for the entry point to return.
PyObject* raise_object_error(ObjectError&& error, std::string_view prefix);

// Sets an exception of `type` whose message is the whole of `text`: a message may quote
// the caller's text, NULs included, so it is never read as a C string.
void raise_text(PyObject* type, std::string_view text);

// The qualified name of an object's type as UTF-8 ("int", "Outer.<locals>.Inner").
std::string type_qualname(PyObject* object);

}  // namespace lorvane
