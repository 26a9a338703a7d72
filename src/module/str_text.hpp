// The UTF-8 text of a str. From Python 3.10 the stable ABI lets a module read the UTF-8
// form that the str keeps with it: none to make for an ASCII str, and made once (then
// cached by the str) for any other. Before 3.10 the only way is the encoder, which
// copies the whole text into a new bytes object on every call.
#pragma once

#include <string_view>

#include "module/py_ref.hpp"
#include "module/python.hpp"

namespace lorvane {

// A str's UTF-8 text and the object that keeps it alive: the str itself, or the bytes
// that the encoder made.
struct Utf8Text {
    PyRef owner;
    std::string_view text;
};

// False with the interpreter's error set (UnicodeEncodeError for a lone surrogate).
// `str` must be a str.
bool utf8_text(PyObject* str, Utf8Text& out);

// The UTF-8 that a str keeps with it, read in place (3.10 on), or null where the running
// interpreter cannot give it, with its error set when the str has none (a lone surrogate).
// `str` must be a str; the text lives as long as the str.
const char* utf8_in_place(PyObject* str, Py_ssize_t& size);

}  // namespace lorvane
