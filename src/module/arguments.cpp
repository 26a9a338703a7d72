#include "module/arguments.hpp"

#include "module/object_error.hpp"

namespace lorvane {

PyObject* extract_argument(const char* function, const char* parameter, PyObject* args,
                           PyObject* kwargs) {
    const Py_ssize_t given = PyTuple_Size(args);
    if (given < 0) return nullptr;
    if (given > 1) {
        PyErr_Format(PyExc_TypeError, "%s() takes 1 positional arguments but %zd were given",
                     function, given);
        return nullptr;
    }
    PyObject* value = given == 1 ? PyTuple_GetItem(args, 0) : nullptr;
    if (kwargs) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* keyword_value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &keyword_value)) {
            if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, parameter) != 0) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'",
                             function, key);
                return nullptr;
            }
            if (value) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                             function, parameter);
                return nullptr;
            }
            value = keyword_value;
        }
    }
    if (!value) {
        PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'",
                     function, parameter);
        return nullptr;
    }
    return value;
}

bool request_text(PyObject* value, RequestText& out) {
    if (!PyUnicode_Check(value)) {
        std::string message = "argument 'request_json': '";
        message += type_qualname(value);
        message += "' object cannot be converted to 'PyString'";
        raise_text(PyExc_TypeError, message);
        return false;
    }
    return utf8_text(value, out);
}

}  // namespace lorvane
