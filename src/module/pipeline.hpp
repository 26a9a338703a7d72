// The one path of every module function: extract the argument, decode the request into
// its record, run the engine, encode the result. A function is its engine and its name;
// its form (Python objects, or JSON text) says how the request is read and the result
// written. Every outcome becomes exactly one Python exception, here and nowhere else.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "common/engine_error.hpp"
#include "module/arguments.hpp"
#include "module/fault.hpp"
#include "module/json/decoder.hpp"
#include "module/json/writer.hpp"
#include "module/object_decoder.hpp"
#include "module/object_encoder.hpp"
#include "module/object_error.hpp"
#include "module/python.hpp"

namespace lorvane {

// A function's name as a template argument: "compute_emi".
template <std::size_t N>
struct FunctionName {
    char text[N];
    constexpr FunctionName(const char (&name)[N]) { std::copy_n(name, N, text); }
};

// The request and result records of an engine.
template <class F>
struct EngineTypes;
template <class Response, class Request>
struct EngineTypes<Result<Response, EngineError> (*)(const Request&)> {
    using request = Request;
    using response = Response;
};
template <auto engine>
using RequestOf = typename EngineTypes<decltype(engine)>::request;

inline PyObject* raise_engine_error(const EngineError& error) {
    raise_text(PyExc_ValueError, error.message());
    return nullptr;
}

// Requests as Python objects, results as new objects.
struct ObjectForm {
    static constexpr const char* parameter = "request";

    // What a request's texts live in: the strs it holds (or their UTF-8 copies).
    struct Input {
        PyObject* object;  // borrowed from the call's arguments
        HeldTexts held;
    };

    static bool take(PyObject* argument, Input& input) {
        input.object = argument;
        return true;
    }
    template <class T>
    static ObjectResult<T> decode(Input& input) {
        return decode_object<T>(input.object, input.held);
    }
    static PyObject* raise(ObjectError&& error, std::string_view prefix) {
        return raise_object_error(std::move(error), prefix);
    }
    template <class T>
    static PyObject* encode(const T& record) {
        auto encoded = encode_object(record);
        if (!encoded) return raise(std::move(encoded).error(), "could not build result: ");
        return std::move(encoded).value().release();
    }
};

// Requests as JSON text in a str, results as compact JSON text in a new str.
struct JsonForm {
    static constexpr const char* parameter = "request_json";

    // What a request's texts live in: the str's UTF-8, and the copies of strings that
    // had escapes.
    struct Input {
        RequestText text;
        std::deque<std::string> kept;
    };

    static bool take(PyObject* argument, Input& input) { return request_text(argument, input.text); }
    template <class T>
    static JsonResult<T> decode(Input& input) {
        return decode_json<T>(input.text.text, input.kept);
    }
    static PyObject* raise(JsonError&& error, std::string_view prefix) {
        std::string text(prefix);
        text += error.display();
        raise_text(PyExc_ValueError, text);
        return nullptr;
    }
    template <class T>
    static PyObject* encode(const T& record) {
        std::string out;
        out.reserve(128);
        encode_json(record, out);
        return PyUnicode_FromStringAndSize(out.data(), static_cast<Py_ssize_t>(out.size()));
    }
};

// One module function: `name` in `Form`, over `engine`.
template <FunctionName name, auto engine, class Form>
PyObject* entry(PyObject* /* module */, PyObject* args, PyObject* kwargs) {
    return fault_barrier([&]() -> PyObject* {
        const NestedCall call;
        if (!call.entered()) return nullptr;
        PyObject* argument = extract_argument(name.text, Form::parameter, args, kwargs);
        if (!argument) return nullptr;
        typename Form::Input input;
        if (!Form::take(argument, input)) return nullptr;
        // The request record is dropped as soon as the engine is done; a result's texts
        // view the input, which lives to the end of the call.
        std::optional<decltype(engine(std::declval<const RequestOf<engine>&>()))> response;
        {
            auto request = Form::template decode<RequestOf<engine>>(input);
            if (!request) return Form::raise(std::move(request).error(), "invalid request: ");
            response.emplace(engine(request.value()));
        }
        if (!*response) return raise_engine_error(response->error());
        return Form::encode(response->value());
    });
}

}  // namespace lorvane
