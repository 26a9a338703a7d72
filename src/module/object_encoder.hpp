// New Python objects from a described result record: dicts with keys in declaration
// order, lists, str, int, float and None.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/object_error.hpp"
#include "module/object_keys.hpp"
#include "module/py_ref.hpp"

namespace lorvane {

namespace object_encoder_detail {

// A new object from an interpreter constructor, or why there is none.
inline ObjectResult<PyRef> made(PyObject* object) {
    if (!object) return fail(ObjectError::not_made());
    return PyRef::steal(object);
}

// A dict of a record type's keys in declaration order, each mapped to None, made on
// first use and kept for the process. A copy of it is a record's dict with its key table
// already laid out, so filling it in never grows the table.
template <class T>
PyObject* record_template() {
    static PyObject* dict = nullptr;
    if (dict) return dict;
    const auto* keys = field_keys<T>();
    if (!keys) return nullptr;
    PyRef made_dict = PyRef::steal(PyDict_New());
    if (!made_dict) return nullptr;
    for (PyObject* key : *keys) {
        if (PyDict_SetItem(made_dict.get(), key, Py_None) < 0) return nullptr;
    }
    dict = made_dict.release();
    return dict;
}

template <class T>
ObjectResult<PyRef> encode_value(const T& value);

template <class T>
inline constexpr bool is_scalar = !is_record<T> && !is_vector<T> && !is_picks<T> && !is_optional<T>;
template <class T>
inline constexpr bool is_optional_scalar = false;
template <class T>
inline constexpr bool is_optional_scalar<std::optional<T>> = is_scalar<T>;

// A new object of a value that holds no other: null, with the interpreter's error
// pending, when it could not be made. Most of a result is such values, made without a
// Result around each.
template <class T>
PyObject* make_scalar(const T& value) {
    if constexpr (is_named_enum<T>) {
        return make_scalar(enum_name(value));
    } else if constexpr (is_text_form<T>) {
        std::string text;
        TextForm<T>::format(value, text);
        return make_scalar(std::string_view(text));
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        return PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
    } else if constexpr (std::is_same_v<T, double>) {
        return PyFloat_FromDouble(value);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return PyLong_FromLongLong(value);
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
        return PyLong_FromLong(value);
    } else if constexpr (std::is_same_v<T, std::uint32_t> || std::is_same_v<T, std::uint64_t>) {
        return PyLong_FromUnsignedLongLong(value);
    } else {
        static_assert(sizeof(T) == 0, "no Python form for this member type");
    }
}

// The ints of the record encoded last in a list of records, one per field: a value that
// repeats from one record to the next (a constant instalment, the year of a schedule's
// months) shares that int instead of making another. The ints are borrowed from the
// previous record's dict, which the list holds.
template <class T>
struct PreviousInts {
    std::array<std::int64_t, field_count<T>> values{};
    std::array<PyObject*, field_count<T>> objects{};
};

template <class T>
ObjectResult<PyRef> encode_record(const T& record, PreviousInts<T>* previous = nullptr) {
    PyObject* layout = record_template<T>();
    if (!layout) return fail(ObjectError::not_made());
    auto dict = made(PyDict_Copy(layout));
    if (!dict) return dict;
    PyObject* const target = dict.value().get();
    const auto& keys = *field_keys<T>();
    ObjectResult<void> filled;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        const std::size_t i = index++;
        if (!filled) return;
        const auto& member = record.*(f.member);
        using M = std::decay_t<decltype(member)>;
        if constexpr (is_optional<M>) {
            if (f.presence == Presence::optional && !member) {
                if (PyDict_DelItem(target, keys[i]) < 0) filled = fail(ObjectError::from_interpreter());
                return;
            }
        }
        // Amounts, most of a schedule's values, are made here without a Result around each.
        PyObject* made_item = nullptr;  // a new reference, or null when none was made
        if constexpr (std::is_same_v<M, std::int64_t>) {
            if (previous && previous->objects[i] && previous->values[i] == member) {
                made_item = PyRef::borrow(previous->objects[i]).release();
            } else {
                made_item = PyLong_FromLongLong(member);
                if (previous && made_item) {
                    previous->values[i] = member;
                    previous->objects[i] = made_item;
                }
            }
        } else if constexpr (is_scalar<M>) {
            made_item = make_scalar(member);
        } else if constexpr (is_optional_scalar<M>) {
            made_item = member ? make_scalar(*member) : PyRef::borrow(Py_None).release();
        } else {
            auto encoded = encode_value(member);
            if (!encoded) {
                filled = fail(std::move(encoded).error());
                return;
            }
            made_item = std::move(encoded).value().release();
        }
        const PyRef item = PyRef::steal(made_item);
        if (!item) {
            filled = fail(ObjectError::not_made());
        } else if (PyDict_SetItem(target, keys[i], item.get()) < 0) {
            filled = fail(ObjectError::from_interpreter());
        }
    });
    LORVANE_TRY(std::move(filled));
    return dict;
}

// Each chosen record's dict is made once; every entry that picks it is a copy.
template <class T>
ObjectResult<PyRef> encode_picks(const Picks<T>& picks) {
    static_assert(is_record<T>, "the choices are records, whose dicts can be copied");
    auto list = made(PyList_New(static_cast<Py_ssize_t>(picks.picked.size())));
    if (!list) return list;
    std::vector<PyRef> chosen(picks.choices.size());
    Py_ssize_t i = 0;
    for (const std::uint32_t choice : picks.picked) {
        PyRef item;
        if (choice == Picks<T>::none) {
            item = PyRef::borrow(Py_None);
        } else {
            PyRef& original = chosen[choice];
            if (!original) {
                auto encoded = encode_record(picks.choices[choice]);
                if (!encoded) return encoded;
                original = std::move(encoded).value();
            }
            auto copy = made(PyDict_Copy(original.get()));
            if (!copy) return copy;
            item = std::move(copy).value();
        }
        PyList_SetItem(list.value().get(), i++, item.release());  // steals the reference
    }
    return list;
}

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
ObjectResult<PyRef> encode_list(const std::vector<T>& value) {
    auto list = made(PyList_New(static_cast<Py_ssize_t>(value.size())));
    if (!list) return list;
    using Record = typename Unwrapped<T>::type;
    [[maybe_unused]] PreviousInts<Record> previous;
    Py_ssize_t i = 0;
    for (const auto& element : value) {
        ObjectResult<PyRef> item = PyRef();
        if constexpr (is_record<Record>) {
            const Record* record = nullptr;
            if constexpr (is_optional<T>) {
                record = element ? &*element : nullptr;
            } else {
                record = &element;
            }
            if (record) {
                item = encode_record(*record, &previous);
            } else {
                item = PyRef::borrow(Py_None);
            }
        } else {
            item = encode_value(element);
        }
        if (!item) return item;
        PyList_SetItem(list.value().get(), i++, std::move(item).value().release());  // steals
    }
    return list;
}

template <class T>
ObjectResult<PyRef> encode_value(const T& value) {
    if constexpr (is_optional<T>) {
        if (!value) return PyRef::borrow(Py_None);
        return encode_value(*value);
    } else if constexpr (is_vector<T>) {
        return encode_list(value);
    } else if constexpr (is_picks<T>) {
        return encode_picks(value);
    } else if constexpr (is_record<T>) {
        return encode_record(value);
    } else {
        return made(make_scalar(value));
    }
}

}  // namespace object_encoder_detail

// A new dict of the record, or why it could not be made.
template <class T>
ObjectResult<PyRef> encode_object(const T& record) {
    return object_encoder_detail::encode_record(record);
}

}  // namespace lorvane
