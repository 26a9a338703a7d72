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

bool MappingSnapshot::take(PyObject* mapping) {
    if (Py_TYPE(mapping) == &PyDict_Type) {
        // An exact dict's keys() and values() are its own entries, in order.
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(mapping, &position, &key, &value))
            push(PyRef::borrow(key), PyRef::borrow(value));
        return true;
    }
    PyRef keys = PyRef::steal(PyMapping_Keys(mapping));
    if (!keys) return false;
    PyRef values = PyRef::steal(PyMapping_Values(mapping));
    if (!values) return false;
    const Py_ssize_t length = PyMapping_Size(mapping);
    if (length < 0) return false;
    for (Py_ssize_t i = 0; i < length; ++i) {
        PyRef key = PyRef::steal(PySequence_GetItem(keys.get(), i));
        if (!key) return false;
        PyRef value = PyRef::steal(PySequence_GetItem(values.get(), i));
        if (!value) return false;
        push(std::move(key), std::move(value));
    }
    return true;
}

bool decode_double(PyObject* value, double& out, ObjectError& error) {
    out = PyFloat_AsDouble(value);
    if (out == -1.0 && PyErr_Occurred()) {
        error = ObjectError::from_interpreter();
        return false;
    }
    return true;
}

bool decode_u32(PyObject* value, std::uint32_t& out, ObjectError& error) {
    unsigned long long number = 0;
    if (type_has_flag(value, Py_TPFLAGS_LONG_SUBCLASS)) {
        number = PyLong_AsUnsignedLongLong(value);
    } else {
        PyRef index = PyRef::steal(PyNumber_Index(value));
        if (!index) {
            error = ObjectError::from_interpreter();
            return false;
        }
        number = PyLong_AsUnsignedLongLong(index.get());
    }
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        error = ObjectError::from_interpreter();
        return false;
    }
    if (number > std::numeric_limits<std::uint32_t>::max()) {
        error = ObjectError::message("OverflowError: out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint32_t>(number);
    return true;
}

bool decode_text(PyObject* value, std::string& out, ObjectError& error) {
    if (!PyUnicode_Check(value)) {
        error = ObjectError::unexpected_type(value, "PyString");
        return false;
    }
    if (!str_to_utf8(value, out)) {
        error = ObjectError::from_interpreter();
        return false;
    }
    return true;
}

bool decode_text(PyObject* value, HeldText& out, ObjectError& error) {
    if (!PyUnicode_Check(value)) {
        error = ObjectError::unexpected_type(value, "PyString");
        return false;
    }
    if (!utf8_text(value, out)) {
        error = ObjectError::from_interpreter();
        return false;
    }
    return true;
}

bool check_unknown_key(PyObject* key, ObjectError& error) {
    std::string ignored;
    if (!str_to_utf8(key, ignored)) {
        error = ObjectError::from_interpreter();
        return false;
    }
    return true;
}

bool decode_enum_index(PyObject* value, const std::string_view* names, std::size_t count,
                       int& out, ObjectError& error) {
    PyRef name_object;
    if (type_has_flag(value, Py_TPFLAGS_DICT_SUBCLASS)) {
        const Py_ssize_t size = PyDict_Size(value);
        if (size < 0) {
            error = ObjectError::from_interpreter();
            return false;
        }
        if (size != 1) {
            error = ObjectError::message("expected tagged enum dict to have exactly 1 key");
            return false;
        }
        PyRef keys = PyRef::steal(PyDict_Keys(value));
        if (!keys) {
            error = ObjectError::from_interpreter();
            return false;
        }
        name_object = PyRef::borrow(PyList_GetItem(keys.get(), 0));
        if (!name_object) {
            error = ObjectError::from_interpreter();
            return false;
        }
        if (!PyUnicode_Check(name_object.get())) {
            error = ObjectError::message("dict keys must have type str");
            return false;
        }
    } else if (PyUnicode_Check(value)) {
        name_object = PyRef::borrow(value);
    } else {
        error = ObjectError::message("expected either a str or dict for enum");
        return false;
    }
    std::string name;
    if (!str_to_utf8(name_object.get(), name)) {
        error = ObjectError::from_interpreter();
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (names[i] == name) {
            out = static_cast<int>(i);
            return true;
        }
    }
    error = ObjectError::message(unknown_variant_message(name, names, count));
    return false;
}

}  // namespace lorvane::object_decoder_detail
