// The fault barrier around every entry point: whatever escapes the body becomes exactly
// one Python exception, and an internal fault becomes PanicException.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>

#include "module/python.hpp"

namespace lorvane {

// An interpreter constructor failed (memory exhausted): reported as a fault.
struct PythonApiFailure : std::exception {
    const char* what() const noexcept override { return "Python API call failed"; }
};

// The PanicException type, created on first use (a new reference is not returned).
PyObject* panic_exception_type();

// Sets PanicException(text) and reports the fault on standard error.
void raise_panic(const char* text);

// Runs body() -> PyObject* (null with an exception set on failure) behind the barrier.
template <class Body>
PyObject* fault_barrier(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const PythonApiFailure& fault) {
        if (PyErr_Occurred()) PyErr_Print();
        raise_panic(fault.what());
    } catch (const std::exception& fault) {
        raise_panic(fault.what());
    } catch (...) {
        raise_panic(nullptr);
    }
    return nullptr;
}

}  // namespace lorvane
