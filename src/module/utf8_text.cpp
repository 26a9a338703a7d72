#include "module/utf8_text.hpp"

#include <cstdlib>

#if defined(__unix__) || defined(__APPLE__)
#include <dlfcn.h>
#endif

namespace lorvane {

namespace {

using AsUtf8AndSize = const char* (*)(PyObject*, Py_ssize_t*);

// The running interpreter's major and minor version, from its version text ("3.11.7 ...").
bool running_at_least(long major, long minor) {
    const char* version = Py_GetVersion();
    char* end = nullptr;
    const long running_major = std::strtol(version, &end, 10);
    if (end == version || *end != '.') return false;
    const long running_minor = std::strtol(end + 1, nullptr, 10);
    return running_major > major || (running_major == major && running_minor >= minor);
}

// PyUnicode_AsUTF8AndSize where the running interpreter offers it in its stable ABI
// (3.10 on), else null. The module is built for the ABI of 3.8, so it looks the function
// up when it runs instead of linking to it.
AsUtf8AndSize find_in_place_reader() {
#if defined(__unix__) || defined(__APPLE__)
    if (!running_at_least(3, 10)) return nullptr;
    return reinterpret_cast<AsUtf8AndSize>(dlsym(RTLD_DEFAULT, "PyUnicode_AsUTF8AndSize"));
#else
    return nullptr;
#endif
}

}  // namespace

bool utf8_text(PyObject* str, Utf8Text& out) {
    static const AsUtf8AndSize in_place = find_in_place_reader();
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

bool utf8_copy(PyObject* str, std::string& out) {
    Utf8Text text;
    if (!utf8_text(str, text)) return false;
    out.assign(text.text);
    return true;
}

}  // namespace lorvane
