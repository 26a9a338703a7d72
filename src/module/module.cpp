// The module lorvane: its initialisation and its six functions, each running the same
// pipeline: extract the argument, decode the request, run the engine, encode the result.
#include <string>
#include <utility>

#include "categorizer/engine.hpp"
#include "emi/engine.hpp"
#include "module/arguments.hpp"
#include "module/fault.hpp"
#include "module/json_categorize.hpp"
#include "module/json_derive.hpp"
#include "module/object_categorize.hpp"
#include "module/json_decoder.hpp"
#include "module/json_writer.hpp"
#include "module/object_decoder.hpp"
#include "module/object_encoder.hpp"
#include "module/py_ref.hpp"
#include "module/python.hpp"
#include "module/runtime.hpp"

namespace lorvane {

namespace {

struct ComputeEmi {
    static constexpr const char* name = "compute_emi";
    static constexpr const char* json_name = "compute_emi_json";
    static auto run(const emi::EmiRequest& request) { return emi::compute_loan(request); }
};

struct CategorizeTransactions {
    static constexpr const char* name = "categorize_transactions";
    static constexpr const char* json_name = "categorize_transactions_json";
    static auto run(const categorizer::CategorizeRequest& request) {
        return categorizer::categorize(request);
    }
    // The whole JSON pipeline at once, without copying narrations or results; the request
    // text is released before the response is written.
    static Result<std::string, JsonError> json_text(RequestText& request) {
        auto categorized = categorize_json_request(request.text);
        request = {};
        if (!categorized) return fail(std::move(categorized).error());
        return categorized_json_text(categorized.value());
    }
    // The whole object pipeline at once, without copying narrations or results.
    static PyObject* objects(PyObject* request) { return categorize_to_objects(request); }
};

struct DeriveRules {
    static constexpr const char* name = "derive_rules";
    static constexpr const char* json_name = "derive_rules_json";
    static auto run(const categorizer::DeriveRulesRequest& request) {
        return categorizer::derive_category_rules(request);
    }
    // The labelled narrations read in place: no copy of any of their texts.
    static auto json_text(const RequestText& request) { return derive_json_text(request.text); }
};

template <class F>
struct FirstArgument;
template <class R, class A>
struct FirstArgument<R (*)(const A&)> {
    using type = A;
};
template <class Op>
using Request = typename FirstArgument<decltype(&Op::run)>::type;

PyObject* raise_engine_error(const EngineError& error) {
    raise_text(PyExc_ValueError, error.message());
    return nullptr;
}

void raise_json_error(const JsonError& error) {
    raise_text(PyExc_ValueError, "invalid request: " + error.display());
}

template <class Op>
PyObject* object_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return fault_barrier([&]() -> PyObject* {
        const NestedCall call;
        if (!call.entered()) return nullptr;
        PyObject* argument = extract_argument(Op::name, "request", args, kwargs);
        if (!argument) return nullptr;
        if constexpr (requires { Op::objects(argument); }) return Op::objects(argument);
        auto result = [&] {
            auto request = decode_object<Request<Op>>(argument);
            if (!request) {
                raise_object_error(std::move(request).error(), "invalid request: ");
                return std::optional<decltype(Op::run(request.value()))>{};
            }
            return std::optional{Op::run(request.value())};
        }();
        if (!result) return nullptr;
        if (!*result) return raise_engine_error(result->error());
        auto encoded = encode_object(result->value());
        if (!encoded) {
            raise_object_error(std::move(encoded).error(), "could not build result: ");
            return nullptr;
        }
        return std::move(encoded).value().release();
    });
}

template <class Op>
PyObject* json_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return fault_barrier([&]() -> PyObject* {
        const NestedCall call;
        if (!call.entered()) return nullptr;
        PyObject* argument = extract_argument(Op::json_name, "request_json", args, kwargs);
        if (!argument) return nullptr;
        RequestText text;
        if (!request_text(argument, text)) return nullptr;
        if constexpr (requires { Op::json_text(text); }) {
            auto written = Op::json_text(text);
            if (!written) {
                raise_json_error(written.error());
                return nullptr;
            }
            return object_encoder_detail::make_text(written.value()).release();
        }
        auto result = [&] {
            auto request = decode_json<Request<Op>>(text.text);
            if (!request) {
                raise_json_error(request.error());
                return std::optional<decltype(Op::run(request.value()))>{};
            }
            return std::optional{Op::run(request.value())};
        }();
        if (!result) return nullptr;
        if (!*result) return raise_engine_error(result->error());
        std::string out;
        out.reserve(128);
        encode_json(result->value(), out);
        return object_encoder_detail::make_text(out).release();
    });
}

// Text signatures: the interpreter reports "(request)" and no further documentation.
#define LORVANE_FUNCTION(op, name, json_name)                                                 \
    {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&object_entry<op>)),   \
     METH_VARARGS | METH_KEYWORDS, name "(request)\n--\n\n"},                                 \
    {json_name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&json_entry<op>)), \
     METH_VARARGS | METH_KEYWORDS, json_name "(request_json)\n--\n\n"}

PyMethodDef functions[] = {
    LORVANE_FUNCTION(ComputeEmi, "compute_emi", "compute_emi_json"),
    LORVANE_FUNCTION(CategorizeTransactions, "categorize_transactions", "categorize_transactions_json"),
    LORVANE_FUNCTION(DeriveRules, "derive_rules", "derive_rules_json"),
};

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

PyMODINIT_FUNC PyInit_lorvane(void) {
    return lorvane::fault_barrier([] { return lorvane::initialise(); });
}
