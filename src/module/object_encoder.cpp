#include "module/object_encoder.hpp"

namespace lorvane::object_encoder_detail {

PyRef make_text(std::string_view text) {
    return made(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

PyObject* interned_key(std::string_view key) {
    PyObject* text = make_text(key).release();
    PyUnicode_InternInPlace(&text);
    return text;
}

}  // namespace lorvane::object_encoder_detail
