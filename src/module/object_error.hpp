// The error of reading a Python request or building a Python result.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/result.hpp"
#include "module/py_ref.hpp"

namespace lorvane {

// Held through one pointer, so that the results of the decoder's many small steps are
// no bigger than their values; an error is made only where one arises.
class ObjectError {
public:
    enum class Kind {
        message,  // text() is the display text that follows "invalid request: " or
                  // "could not build result: "
        pending,  // the interpreter raised what passes_through() lets through: it is
                  // restored unchanged instead of being wrapped
        fault,    // an interpreter call failed without a reason to give: a fault
    };

    static ObjectError message(std::string text) { return ObjectError(Kind::message, std::move(text)); }
    static ObjectError unexpected_type(PyObject* value, std::string_view expected);
    // Takes the interpreter's pending exception: "TypeName: str(exception)".
    static ObjectError from_interpreter();
    // An interpreter constructor returned no object: memory ran out, which passes
    // through, or the interpreter faulted.
    static ObjectError not_made();

    Kind kind() const noexcept { return detail_->kind; }
    const std::string& text() const noexcept { return detail_->text; }
    // Sets the pending exception again (Kind::pending).
    void restore() noexcept;

private:
    struct Detail {
        Kind kind;
        std::string text;
        PyRef type, value, traceback;  // Kind::pending
    };
    ObjectError(Kind kind, std::string text, PyRef type = {}, PyRef value = {}, PyRef traceback = {})
        : detail_(new Detail{kind, std::move(text), std::move(type), std::move(value), std::move(traceback)}) {}

    std::unique_ptr<Detail> detail_;
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
