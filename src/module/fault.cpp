#include "module/fault.hpp"

#include <cstdio>

namespace lorvane {

namespace {

constexpr const char* fault_text = "lorvane: the module's own code faulted";
constexpr const char* panic_doc =
    "Raised when lorvane's own code faults.\n\n"
    "Like SystemExit, it derives from BaseException and not from Exception, so that an\n"
    "ordinary `except Exception` does not catch it: it normally propagates all the way up\n"
    "and ends the interpreter.";

}  // namespace

PyObject* panic_exception_type() {
    static PyObject* type = nullptr;  // kept for the life of the process
    if (!type) {
        type = PyErr_NewExceptionWithDoc("lorvane_runtime.PanicException", panic_doc,
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

thread_local int NestedCall::depth_ = 0;

bool NestedCall::entered() const noexcept {
    if (!entered_) {
        PyErr_SetString(PyExc_RecursionError,
                        "maximum recursion depth exceeded while calling a lorvane function");
    }
    return entered_;
}

void raise_panic(const char* text) {
    const char* message = text ? text : fault_text;
    std::fprintf(stderr, "lorvane: internal fault: %s\n", message);
    std::fflush(stderr);
    PyObject* type = panic_exception_type();
    if (!type) return;  // the interpreter's own error is pending
    PyErr_SetString(type, message);
}

}  // namespace lorvane
