#include "module/str_text.hpp"

#include "module/runtime.hpp"

namespace lorvane {

namespace {

using AsUtf8AndSize = const char* (*)(PyObject*, Py_ssize_t*);

// PyUnicode_AsUTF8AndSize where the running interpreter offers it in its stable ABI
// (3.10 on), else null.
AsUtf8AndSize find_in_place_reader() {
    if (!running_at_least(3, 10)) return nullptr;
    return reinterpret_cast<AsUtf8AndSize>(runtime_symbol("PyUnicode_AsUTF8AndSize"));
}

const AsUtf8AndSize in_place = find_in_place_reader();

}  // namespace

const char* utf8_in_place(PyObject* str, Py_ssize_t& size) {
    return in_place ? in_place(str, &size) : nullptr;
}

bool utf8_text(PyObject* str, Utf8Text& out) {
    if (in_place) {
        Py_ssize_t size = 0;
        const char* data = in_place(str, &size);
        if (!data) return false;
        out.owner = PyRef::borrow(str);
        out.text = std::string_view(data, static_cast<std::size_t>(size));
        return true;
    }
    PyRef bytes = PyRef::steal(PyUnicode_AsUTF8String(str));
    if (!bytes) return false;
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) < 0) return false;
    out.owner = std::move(bytes);
    out.text = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

}  // namespace lorvane
