// New Python objects from a described result record: dicts with keys in declaration
// order, lists, str, int, float and None.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/fault.hpp"
#include "module/object_error.hpp"
#include "module/py_ref.hpp"

namespace lorvane {

namespace object_encoder_detail {

// A new object from an interpreter constructor; a null result is a fault.
inline PyRef made(PyObject* object) {
    if (!object) throw PythonApiFailure();
    return PyRef::steal(object);
}

PyRef make_text(std::string_view text);
// An interned str for a field key, created on first use and kept for the process.
PyObject* interned_key(std::string_view key);

// The interned keys of a record type, in declaration order.
template <class T>
const std::array<PyObject*, field_count<T>>& field_keys() {
    static std::array<PyObject*, field_count<T>> keys{};
    if (!keys[field_count<T> - 1]) {
        std::size_t i = 0;
        for_each_field<T>([&](const auto& f) {
            if (!keys[i]) keys[i] = interned_key(f.key);
            ++i;
        });
    }
    return keys;
}

// A dict of a record type's keys in declaration order, each mapped to None, created on
// first use and kept for the process. A copy of it is a record's dict with its key table
// already laid out, so filling it in never grows the table.
template <class T>
PyObject* record_template() {
    static PyObject* dict = nullptr;
    if (!dict) {
        PyRef made_dict = made(PyDict_New());
        for (PyObject* key : field_keys<T>()) {
            if (PyDict_SetItem(made_dict.get(), key, Py_None) < 0) throw PythonApiFailure();
        }
        dict = made_dict.release();
    }
    return dict;
}

template <class T>
bool encode_value(const T& value, PyRef& out, ObjectError& error);

// The ints of the record encoded last in a list of records, one per field: a value that
// repeats from one record to the next (a constant instalment, the year of a schedule's
// months) shares that int instead of making another. The ints are borrowed from the
// previous record's dict, which the list holds.
template <class T>
struct PreviousInts {
    std::array<std::int64_t, field_count<T>> values{};
    std::array<PyObject*, field_count<T>> objects{};
};

// The element type of a list, without the optional around it.
template <class E>
struct Unwrapped {
    using type = E;
};
template <class E>
struct Unwrapped<std::optional<E>> {
    using type = E;
};

template <class T>
bool encode_record(const T& record, PyRef& out, ObjectError& error, PreviousInts<T>* previous = nullptr) {
    PyRef dict = made(PyDict_Copy(record_template<T>()));
    const auto& keys = field_keys<T>();
    bool ok = true;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        const std::size_t i = index++;
        if (!ok) return;
        const auto& member = record.*(f.member);
        using M = std::decay_t<decltype(member)>;
        if constexpr (is_optional<M>) {
            if (f.presence == Presence::optional && !member) {
                if (PyDict_DelItem(dict.get(), keys[i]) < 0) {
                    error = ObjectError::from_interpreter();
                    ok = false;
                }
                return;
            }
        }
        PyRef item;
        if constexpr (std::is_same_v<M, std::int64_t>) {
            if (previous && previous->objects[i] && previous->values[i] == member) {
                item = PyRef::borrow(previous->objects[i]);
            } else {
                item = made(PyLong_FromLongLong(member));
                if (previous) {
                    previous->values[i] = member;
                    previous->objects[i] = item.get();
                }
            }
        } else if (!encode_value(member, item, error)) {
            ok = false;
            return;
        }
        if (PyDict_SetItem(dict.get(), keys[i], item.get()) < 0) {
            error = ObjectError::from_interpreter();
            ok = false;
        }
    });
    if (!ok) return false;
    out = std::move(dict);
    return true;
}

template <class T>
bool encode_value(const T& value, PyRef& out, ObjectError& error) {
    if constexpr (is_optional<T>) {
        if (!value) {
            out = PyRef::borrow(Py_None);
            return true;
        }
        return encode_value(*value, out, error);
    } else if constexpr (is_vector<T>) {
        PyRef list = made(PyList_New(static_cast<Py_ssize_t>(value.size())));
        using E = typename T::value_type;
        using Record = typename Unwrapped<E>::type;
        [[maybe_unused]] PreviousInts<Record> previous;
        Py_ssize_t i = 0;
        for (const auto& element : value) {
            PyRef item;
            if constexpr (is_record<Record>) {
                const Record* record = nullptr;
                if constexpr (is_optional<E>) {
                    record = element ? &*element : nullptr;
                } else {
                    record = &element;
                }
                if (!record) {
                    item = PyRef::borrow(Py_None);
                } else if (!encode_record(*record, item, error, &previous)) {
                    return false;
                }
            } else if (!encode_value(element, item, error)) {
                return false;
            }
            PyList_SetItem(list.get(), i++, item.release());  // steals the reference
        }
        out = std::move(list);
        return true;
    } else if constexpr (is_record<T>) {
        return encode_record(value, out, error);
    } else if constexpr (is_named_enum<T>) {
        out = make_text(enum_name(value));
        return true;
    } else if constexpr (is_text_form<T>) {
        std::string text;
        TextForm<T>::format(value, text);
        out = make_text(text);
        return true;
    } else if constexpr (std::is_same_v<T, std::string>) {
        out = make_text(value);
        return true;
    } else if constexpr (std::is_same_v<T, double>) {
        out = made(PyFloat_FromDouble(value));
        return true;
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        out = made(PyLong_FromLongLong(value));
        return true;
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
        out = made(PyLong_FromLong(value));
        return true;
    } else if constexpr (std::is_same_v<T, std::uint32_t> || std::is_same_v<T, std::uint64_t>) {
        out = made(PyLong_FromUnsignedLongLong(value));
        return true;
    } else {
        static_assert(sizeof(T) == 0, "no Python form for this member type");
    }
}

}  // namespace object_encoder_detail

template <class T>
Result<PyRef, ObjectError> encode_object(const T& record) {
    PyRef out;
    ObjectError error;
    if (!object_encoder_detail::encode_record(record, out, error)) return fail(std::move(error));
    return out;
}

}  // namespace lorvane
