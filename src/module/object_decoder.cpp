#include "module/object_decoder.hpp"

#include <limits>

namespace lorvane::object_decoder_detail {

namespace {

// collections.abc.<name>, imported on first use and kept for the life of the process.
PyObject* abstract_base(const char* name, PyObject*& cache) {
    if (!cache) {
        PyRef module_name = PyRef::steal(PyUnicode_FromString("collections.abc"));
        if (!module_name) return nullptr;
        PyRef module = PyRef::steal(PyImport_Import(module_name.get()));
        if (!module) return nullptr;
        cache = PyObject_GetAttrString(module.get(), name);
    }
    return cache;
}

Kind is_instance_of_abc(PyObject* object, const char* name, PyObject*& cache) {
    PyObject* base = abstract_base(name, cache);
    const int result = base ? PyObject_IsInstance(object, base) : -1;
    if (result >= 0) return result == 1 ? Kind::yes : Kind::no;
    if (passes_through(PyErr_Occurred())) return Kind::raised;
    PyErr_WriteUnraisable(object);
    return Kind::no;
}

bool type_has_flag(PyObject* object, unsigned long flag) {
    return (PyType_GetFlags(Py_TYPE(object)) & flag) != 0;
}

}  // namespace

Kind is_mapping(PyObject* object) {
    static PyObject* mapping = nullptr;
    if (type_has_flag(object, Py_TPFLAGS_DICT_SUBCLASS)) return Kind::yes;
    return is_instance_of_abc(object, "Mapping", mapping);
}

Kind is_sequence(PyObject* object) {
    static PyObject* sequence = nullptr;
    if (type_has_flag(object, Py_TPFLAGS_LIST_SUBCLASS | Py_TPFLAGS_TUPLE_SUBCLASS)) return Kind::yes;
    return is_instance_of_abc(object, "Sequence", sequence);
}

ObjectError not_of_kind(Kind kind, PyObject* object, std::string_view expected) {
    if (kind == Kind::raised) return ObjectError::from_interpreter();
    return ObjectError::unexpected_type(object, expected);
}

void MappingSnapshot::push(PyRef key, PyRef value) {
    if (size_ < inline_.size()) {
        inline_[size_] = {std::move(key), std::move(value)};
    } else {
        spill_.emplace_back(std::move(key), std::move(value));
    }
    ++size_;
}

ObjectResult<void> MappingSnapshot::take(PyObject* mapping) {
    if (Py_TYPE(mapping) == &PyDict_Type) {
        // An exact dict's keys() and values() are its own entries, in order.
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(mapping, &position, &key, &value))
            push(PyRef::borrow(key), PyRef::borrow(value));
        return {};
    }
    PyRef keys = PyRef::steal(PyMapping_Keys(mapping));
    if (!keys) return fail(ObjectError::from_interpreter());
    PyRef values = PyRef::steal(PyMapping_Values(mapping));
    if (!values) return fail(ObjectError::from_interpreter());
    const Py_ssize_t length = PyMapping_Size(mapping);
    if (length < 0) return fail(ObjectError::from_interpreter());
    for (Py_ssize_t i = 0; i < length; ++i) {
        PyRef key = PyRef::steal(PySequence_GetItem(keys.get(), i));
        if (!key) return fail(ObjectError::from_interpreter());
        PyRef value = PyRef::steal(PySequence_GetItem(values.get(), i));
        if (!value) return fail(ObjectError::from_interpreter());
        push(std::move(key), std::move(value));
    }
    return {};
}

ObjectResult<double> decode_double(PyObject* value) {
    const double number = PyFloat_AsDouble(value);
    if (number == -1.0 && PyErr_Occurred()) return fail(ObjectError::from_interpreter());
    return number;
}

ObjectResult<std::uint32_t> decode_u32(PyObject* value) {
    unsigned long long number = 0;
    if (type_has_flag(value, Py_TPFLAGS_LONG_SUBCLASS)) {
        number = PyLong_AsUnsignedLongLong(value);
    } else {
        PyRef index = PyRef::steal(PyNumber_Index(value));
        if (!index) return fail(ObjectError::from_interpreter());
        number = PyLong_AsUnsignedLongLong(index.get());
    }
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        return fail(ObjectError::from_interpreter());
    }
    if (number > std::numeric_limits<std::uint32_t>::max()) {
        return fail(ObjectError::message("OverflowError: out of range integral type conversion attempted"));
    }
    return static_cast<std::uint32_t>(number);
}

namespace {

// The UTF-8 of a value known to be a str, its owner held.
ObjectResult<std::string_view> held_text(PyObject* str, HeldTexts& held) {
    Utf8Text text;
    if (!utf8_text(str, text)) return fail(ObjectError::from_interpreter());
    held.push_back(std::move(text.owner));
    return text.text;
}

}  // namespace

ObjectResult<std::string_view> decode_text(PyObject* value, HeldTexts& held) {
    if (!PyUnicode_Check(value)) return fail(ObjectError::unexpected_type(value, "PyString"));
    return held_text(value, held);
}

ObjectResult<void> check_unknown_key(PyObject* key) {
    Utf8Text ignored;
    if (!utf8_text(key, ignored)) return fail(ObjectError::from_interpreter());
    return {};
}

ObjectResult<std::string_view> decode_enum_name(PyObject* value, HeldTexts& held) {
    if (PyUnicode_Check(value)) return held_text(value, held);
    if (!type_has_flag(value, Py_TPFLAGS_DICT_SUBCLASS)) {
        return fail(ObjectError::message("expected either a str or dict for enum"));
    }
    const Py_ssize_t size = PyDict_Size(value);
    if (size < 0) return fail(ObjectError::from_interpreter());
    if (size != 1) return fail(ObjectError::message("expected tagged enum dict to have exactly 1 key"));
    PyRef keys = PyRef::steal(PyDict_Keys(value));
    if (!keys) return fail(ObjectError::from_interpreter());
    PyObject* name = PyList_GetItem(keys.get(), 0);  // borrowed from the list
    if (!name) return fail(ObjectError::from_interpreter());
    if (!PyUnicode_Check(name)) return fail(ObjectError::message("dict keys must have type str"));
    return held_text(name, held);
}

}  // namespace lorvane::object_decoder_detail
