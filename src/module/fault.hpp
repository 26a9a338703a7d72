// The fault barrier around every entry point: whatever escapes the body becomes exactly
// one Python exception: std::bad_alloc MemoryError, anything else PanicException.
#pragma once

#include <exception>
#include <new>

#include "module/python.hpp"

namespace lorvane {

// The PanicException type, created on first use (a new reference is not returned).
PyObject* panic_exception_type();

// Sets PanicException(text) and reports the fault on standard error.
void raise_panic(const char* text);

// Bounds how deeply calls into the module nest on one thread. The object decoder runs the
// caller's code (__float__, a mapping's keys()), which may call the module again; each
// level costs more of the C stack than the interpreter's recursion limit accounts for, so
// the limit is the module's own, and passing it is a RecursionError.
class NestedCall {
public:
    static constexpr int limit = 100;

    NestedCall() noexcept : entered_(++depth_ <= limit) {}
    ~NestedCall() { --depth_; }
    NestedCall(const NestedCall&) = delete;
    NestedCall& operator=(const NestedCall&) = delete;

    // False when this call is one too deep; RecursionError is then set.
    bool entered() const noexcept;

private:
    static thread_local int depth_;
    bool entered_;
};

// Runs body() -> PyObject* (null with an exception set on failure) behind the barrier.
template <class Body>
PyObject* fault_barrier(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& fault) {
        raise_panic(fault.what());
    } catch (...) {
        raise_panic(nullptr);
    }
    return nullptr;
}

}  // namespace lorvane
