// The module lorvane: its initialisation and its six functions, one row per job, each
// offered for Python objects and for JSON text.
#include "categorizer/engine.hpp"
#include "emi/engine.hpp"
#include "module/pipeline.hpp"
#include "module/py_ref.hpp"
#include "module/python.hpp"
#include "module/runtime.hpp"

namespace lorvane {

namespace {

template <class Entry>
PyCFunction as_method(Entry entry) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

// Both forms of one job. The text signatures make the interpreter report "(request)" and
// no further documentation.
#define LORVANE_FUNCTION(name, engine)                                                   \
    {name, as_method(&entry<name, engine, ObjectForm>), METH_VARARGS | METH_KEYWORDS,     \
     name "(request)\n--\n\n"},                                                          \
    {name "_json", as_method(&entry<name "_json", engine, JsonForm>),                     \
     METH_VARARGS | METH_KEYWORDS, name "_json(request_json)\n--\n\n"}

PyMethodDef functions[] = {
    LORVANE_FUNCTION("compute_emi", emi::compute_loan),
    LORVANE_FUNCTION("categorize_transactions", categorizer::categorize),
    LORVANE_FUNCTION("derive_rules", categorizer::derive_category_rules),
};

#undef LORVANE_FUNCTION

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "lorvane", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Appends `name` to the module's __all__ (created on first use) and sets the attribute.
bool add_export(PyObject* module, PyObject* name, PyObject* value) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    if (PyList_Append(all.get(), name) < 0) return false;
    return PyObject_SetAttr(module, name, value) == 0;
}

PyObject* initialise() {
    // The module keeps interpreter objects for the life of the process (the module, the
    // PanicException type, interned keys), which one interpreter cannot share with
    // another: a sub-interpreter is refused before anything is made.
    if (!in_main_interpreter()) {
        PyErr_SetString(PyExc_ImportError,
                        "lorvane cannot be imported in a sub-interpreter; import it in the main "
                        "interpreter");
        return nullptr;
    }
    static PyObject* created = nullptr;  // the module, kept for the life of the process
    if (created) {
        // From 3.13 the interpreter runs this function in the main interpreter on behalf of
        // a sub-interpreter, then refuses the sub-interpreter the module: a module that
        // was never imported (its __spec__ never set) is the one to hand out now.
        PyRef spec = PyRef::steal(PyObject_GetAttrString(created, "__spec__"));
        if (spec && spec.get() == Py_None) return PyRef::borrow(created).release();
        PyErr_Clear();
        PyErr_SetString(PyExc_ImportError,
                        "lorvane may only be initialised once per interpreter process");
        return nullptr;
    }
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, PYTHON_ABI_VERSION));
    if (!module) return nullptr;

    PyRef version_name = PyRef::steal(PyUnicode_FromString("__version__"));
    PyRef version = PyRef::steal(PyUnicode_FromString("0.1.1"));
    if (!version_name || !version || !add_export(module.get(), version_name.get(), version.get()))
        return nullptr;

    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module.get()));
    if (!module_name) return nullptr;
    for (PyMethodDef& definition : functions) {
        PyRef function = PyRef::steal(PyCFunction_NewEx(&definition, module.get(), module_name.get()));
        if (!function) return nullptr;
        PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
        if (!name || !add_export(module.get(), name.get(), function.get())) return nullptr;
    }
    created = PyRef::borrow(module.get()).release();
    return module.release();
}

}  // namespace

}  // namespace lorvane

extern "C" [[gnu::visibility("default")]] PyObject* PyInit_lorvane(void) {  // exported on 3.8 too
    return lorvane::fault_barrier([] { return lorvane::initialise(); });
}
