// The keys of a record type as interned strs, shared by the object decoder and encoder.
#pragma once

#include <array>
#include <string>

#include "common/describe.hpp"
#include "module/python.hpp"

namespace lorvane {

// The interned keys of a record type, in declaration order, made on first use and kept
// for the life of the process; null when the interpreter could not make them.
template <class T>
const std::array<PyObject*, field_count<T>>* field_keys() {
    static std::array<PyObject*, field_count<T>> keys{};
    if (keys.back()) return &keys;  // made in order: the last one made means all are
    std::size_t i = 0;
    bool made_all = true;
    for_each_field<T>([&](const auto& f) {
        if (!keys[i]) keys[i] = PyUnicode_InternFromString(std::string(f.key).c_str());
        made_all = made_all && keys[i];
        ++i;
    });
    return made_all ? &keys : nullptr;
}

}  // namespace lorvane
