#include "module/object_error.hpp"

#include <stdexcept>

#include "module/fault.hpp"
#include "module/str_text.hpp"

namespace lorvane {

namespace {

// UTF-8 of a str, unpaired surrogates written as U+FFFD.
bool str_to_utf8_replacing(PyObject* text, std::string& out) {
    PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
    if (!bytes) return false;
    const char* data = PyBytes_AsString(bytes.get());
    const Py_ssize_t size = PyBytes_Size(bytes.get());
    out.reserve(out.size() + static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        // A surrogate passes as ED A0..BF xx, which valid UTF-8 never holds.
        if (static_cast<unsigned char>(data[i]) == 0xED && i + 2 < size &&
            static_cast<unsigned char>(data[i + 1]) >= 0xA0) {
            out += "\xEF\xBF\xBD";
            i += 2;
        } else {
            out += data[i];
        }
    }
    return true;
}

// "__qualname__", interned on first use and kept for the life of the process. A new str
// per lookup would also fill the interpreter's type attribute cache with copies of it.
PyObject* qualname_key() {
    static PyObject* key = nullptr;
    if (!key) key = PyUnicode_InternFromString("__qualname__");
    return key;
}

}  // namespace

std::string type_qualname(PyObject* object) {
    PyObject* key = qualname_key();
    PyRef name = PyRef::steal(
        key ? PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(object)), key) : nullptr);
    std::string text;
    if (!name || !PyUnicode_Check(name.get()) || !str_to_utf8_replacing(name.get(), text)) {
        PyErr_Clear();
        return "object";
    }
    return text;
}

ObjectError ObjectError::unexpected_type(PyObject* value, std::string_view expected) {
    std::string text = "unexpected type: '";
    text += type_qualname(value);
    text += "' object cannot be converted to '";
    text += expected;
    text += '\'';
    return message(std::move(text));
}

bool passes_through(PyObject* type) {
    return !PyErr_GivenExceptionMatches(type, PyExc_Exception) ||
           PyErr_GivenExceptionMatches(type, PyExc_MemoryError) ||
           PyErr_GivenExceptionMatches(type, PyExc_RecursionError);
}

ObjectError ObjectError::from_interpreter() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type) return ObjectError(Kind::fault, {});  // an interpreter call failed silently
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef owned_type = PyRef::steal(type);
    PyRef owned_value = PyRef::steal(value);
    PyRef owned_traceback = PyRef::steal(traceback);

    if (passes_through(type)) {
        if (traceback && value) PyException_SetTraceback(value, traceback);
        return ObjectError(Kind::pending, {}, std::move(owned_type), std::move(owned_value),
                           std::move(owned_traceback));
    }

    std::string text = value ? type_qualname(value) : std::string("Exception");
    text += ": ";
    PyRef str = PyRef::steal(value ? PyObject_Str(value) : nullptr);
    if (!str || !str_to_utf8_replacing(str.get(), text)) {
        // An interrupt (KeyboardInterrupt, SystemExit) inside str() passes through as well.
        PyObject* raised = PyErr_Occurred();
        if (raised && passes_through(raised)) return from_interpreter();
        PyErr_Clear();
        text += "<exception str() failed>";
    }
    return message(std::move(text));
}

ObjectError ObjectError::not_made() {
    PyObject* raised = PyErr_Occurred();
    if (raised && passes_through(raised)) return from_interpreter();
    if (raised) PyErr_Print();  // for the report of the fault
    return ObjectError(Kind::fault, {});
}

void ObjectError::restore() noexcept {
    PyErr_Restore(detail_->type.release(), detail_->value.release(), detail_->traceback.release());
}

PyObject* raise_object_error(ObjectError&& error, std::string_view prefix) {
    switch (error.kind()) {
        case ObjectError::Kind::pending: error.restore(); break;
        case ObjectError::Kind::fault: raise_panic("Python API call failed"); break;
        case ObjectError::Kind::message: {
            std::string text(prefix);
            text += error.text();
            raise_text(PyExc_ValueError, text);
            break;
        }
    }
    return nullptr;
}

void raise_text(PyObject* type, std::string_view text) {
    PyRef message = PyRef::steal(
        PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (message) PyErr_SetObject(type, message.get());
}

}  // namespace lorvane
