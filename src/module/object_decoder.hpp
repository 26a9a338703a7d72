// A request record from a Python object, driven by the record's description.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/object_error.hpp"
#include "module/object_keys.hpp"
#include "module/py_ref.hpp"
#include "module/str_text.hpp"

namespace lorvane {

// What keeps a decoded record's texts alive: each str whose UTF-8 a text views, or the
// bytes its UTF-8 was encoded into. Held for as long as the record is used.
using HeldTexts = std::vector<PyRef>;

namespace object_decoder_detail {

// The outcome of a kind test. A test that raises an Exception is reported as unraisable
// and counts as no; one that raises what passes_through() lets through leaves it
// pending, to pass through unchanged.
enum class Kind { no, yes, raised };

// dict (or subclass), else isinstance(object, collections.abc.Mapping).
Kind is_mapping(PyObject* object);
// list or tuple (or subclass), else isinstance(object, collections.abc.Sequence).
Kind is_sequence(PyObject* object);

// The error of a kind test that did not say yes.
ObjectError not_of_kind(Kind kind, PyObject* object, std::string_view expected);

// The keys and values of a mapping, paired by index, each pair holding new references.
class MappingSnapshot {
public:
    // Fails with the interpreter's error.
    ObjectResult<void> take(PyObject* mapping);
    std::size_t size() const noexcept { return size_; }
    PyObject* key(std::size_t i) const noexcept { return at(i).first.get(); }
    PyObject* value(std::size_t i) const noexcept { return at(i).second.get(); }

private:
    using Pair = std::pair<PyRef, PyRef>;
    const Pair& at(std::size_t i) const noexcept { return i < inline_.size() ? inline_[i] : spill_[i - inline_.size()]; }
    void push(PyRef key, PyRef value);
    std::array<Pair, 8> inline_;
    std::vector<Pair> spill_;
    std::size_t size_ = 0;
};

// How many texts one T holds directly: what decoding a list of them adds to HeldTexts.
template <class T>
constexpr std::size_t texts_in() {
    std::size_t n = 0;
    if constexpr (is_record<T>) {
        for_each_field<T>([&](const auto& f) {
            using M = typename std::decay_t<decltype(f)>::member_type;
            n += std::is_same_v<M, std::string_view> ? 1 : 0;
        });
    }
    return n;
}

// Matches a str against the field keys (ASCII); field_count when it names none. Keys
// written in the caller's source are interned strs, the very objects of field_keys:
// those match by identity, without a look at their text.
template <class T>
std::size_t find_field(PyObject* key) {
    if (const auto* interned = field_keys<T>()) {
        for (std::size_t i = 0; i < field_count<T>; ++i) {
            if ((*interned)[i] == key) return i;
        }
    } else {
        PyErr_Clear();  // no interned keys: the texts are compared below
    }
    std::size_t found = field_count<T>;
    std::size_t i = 0;
    for_each_field<T>([&](const auto& f) {
        if (found == field_count<T> && PyUnicode_CompareWithASCIIString(key, f.key.data()) == 0)
            found = i;
        ++i;
    });
    return found;
}

ObjectResult<double> decode_double(PyObject* value);
ObjectResult<std::uint32_t> decode_u32(PyObject* value);
// A str's UTF-8 text, its owner added to `held`.
ObjectResult<std::string_view> decode_text(PyObject* value, HeldTexts& held);
// The name that a str, or the key of a one-entry dict, gives an enumerator. The view
// lives as long as `held`.
ObjectResult<std::string_view> decode_enum_name(PyObject* value, HeldTexts& held);
// A key that names no field must still be a str that encodes as UTF-8.
ObjectResult<void> check_unknown_key(PyObject* key);

template <class T>
ObjectResult<void> decode_value(PyObject* value, T& out, HeldTexts& held);

// Whether decoding a T's fields can run the caller's code: only a text's can not (a str,
// or an instance of a subclass of str, gives its UTF-8 without calling anything).
template <class T>
constexpr bool fields_run_caller_code() {
    bool runs = false;
    for_each_field<T>([&](const auto& f) {
        using M = typename std::decay_t<decltype(f)>::member_type;
        runs = runs || !std::is_same_v<M, std::string_view>;
    });
    return runs;
}

// One key and its value of a record's mapping.
template <class T>
ObjectResult<void> decode_entry(PyObject* key, PyObject* value, T& out, std::array<bool, field_count<T>>& seen,
                                HeldTexts& held) {
    if (!PyUnicode_Check(key)) return fail(ObjectError::message("dict keys must have type str"));
    const std::size_t index = find_field<T>(key);
    if (index == field_count<T>) return check_unknown_key(key);
    ObjectResult<void> decoded;
    visit_field<T>(index, [&](const auto& f) {
        if (seen[index]) {
            decoded = fail(ObjectError::message(duplicate_field_message(f.key)));
            return;
        }
        seen[index] = true;
        auto& member = out.*(f.member);
        using M = std::decay_t<decltype(member)>;
        if constexpr (is_optional<M>) {
            if (value == Py_None) {
                member.reset();
                return;
            }
            decoded = decode_value(value, member.emplace(), held);
        } else {
            decoded = decode_value(value, member, held);
        }
    });
    return decoded;
}

// The members of a record whose fields are all texts, in declaration order.
template <class T>
constexpr auto text_members() {
    std::array<std::string_view T::*, field_count<T>> members{};
    std::size_t i = 0;
    for_each_field<T>([&](const auto& f) {
        if constexpr (std::is_same_v<typename std::decay_t<decltype(f)>::member_type, std::string_view>) {
            members[i] = f.member;
        }
        ++i;
    });
    return members;
}

// The common case of a narration or a rule: an exact dict whose keys are the record's own
// interned keys, each mapped to a str whose UTF-8 can be read in place. True when the
// record was read so; false leaves it, and anything unusual (another key, a missing one,
// a value that is not such a str), to the general reading, which reads it again and
// reports what it finds as the rules say. Nothing here can run the caller's code.
template <class T>
bool read_plain_texts(PyObject* dict, T& out, HeldTexts& held) {
    static constexpr auto members = text_members<T>();
    const auto* keys = field_keys<T>();
    if (!keys) {
        PyErr_Clear();
        return false;
    }
    const std::size_t mark = held.size();
    std::uint32_t seen = 0;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &position, &key, &value)) {
        std::size_t i = 0;
        while (i < field_count<T> && (*keys)[i] != key) ++i;
        Py_ssize_t size = 0;
        const char* text = i < field_count<T> && PyUnicode_Check(value) ? utf8_in_place(value, size) : nullptr;
        if (!text) {
            PyErr_Clear();  // the general reading meets the same failure and reports it
            held.resize(mark);
            return false;
        }
        held.push_back(PyRef::borrow(value));
        out.*members[i] = std::string_view(text, static_cast<std::size_t>(size));
        seen |= std::uint32_t{1} << i;
    }
    if (seen == (std::uint32_t{1} << field_count<T>) - 1) return true;
    held.resize(mark);
    return false;
}

template <class T>
ObjectResult<void> decode_record(PyObject* object, T& out, HeldTexts& held) {
    if constexpr (!fields_run_caller_code<T>()) {
        if (Py_TYPE(object) == &PyDict_Type && read_plain_texts(object, out, held)) return {};
    }
    if (const Kind kind = is_mapping(object); kind != Kind::yes) return fail(not_of_kind(kind, object, "Mapping"));
    std::array<bool, field_count<T>> seen{};
    if (!fields_run_caller_code<T>() && Py_TYPE(object) == &PyDict_Type) {
        // An exact dict's entries, read in place: nothing that runs while they are read can
        // change the dict.
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(object, &position, &key, &value)) LORVANE_TRY(decode_entry(key, value, out, seen, held));
    } else {
        MappingSnapshot snapshot;
        LORVANE_TRY(snapshot.take(object));
        for (std::size_t i = 0; i < snapshot.size(); ++i) {
            LORVANE_TRY(decode_entry(snapshot.key(i), snapshot.value(i), out, seen, held));
        }
    }
    std::string_view missing;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        if (missing.empty() && !seen[index] && f.presence == Presence::required) missing = f.key;
        ++index;
    });
    if (!missing.empty()) return fail(ObjectError::message(missing_field_message(missing)));
    return {};
}

template <class T>
ObjectResult<void> decode_list(PyObject* object, std::vector<T>& out, HeldTexts& held) {
    if (const Kind kind = is_sequence(object); kind != Kind::yes) return fail(not_of_kind(kind, object, "Sequence"));
    const Py_ssize_t length = PyObject_Size(object);
    if (length < 0) return fail(ObjectError::from_interpreter());
    // A custom sequence, or a subclass of list or tuple with its own __len__, may lie about
    // its length: reserve the whole length only for an exact list or tuple.
    const bool concrete = PyList_CheckExact(object) || PyTuple_CheckExact(object);
    const auto expected = static_cast<std::size_t>(concrete ? length : std::min<Py_ssize_t>(length, 1024));
    out.reserve(expected);
    if (const std::size_t needed = held.size() + expected * texts_in<T>(); needed > held.capacity()) {
        held.reserve(std::max(needed, 2 * held.capacity()));
    }
    for (Py_ssize_t i = 0; i < length; ++i) {
        PyRef item = PyRef::steal(PySequence_GetItem(object, i));
        if (!item) return fail(ObjectError::from_interpreter());
        LORVANE_TRY(decode_value(item.get(), out.emplace_back(), held));
    }
    return {};
}

template <class T>
ObjectResult<void> decode_value(PyObject* value, T& out, HeldTexts& held) {
    if constexpr (is_vector<T>) {
        return decode_list(value, out, held);
    } else if constexpr (is_record<T>) {
        return decode_record(value, out, held);
    } else if constexpr (is_named_enum<T>) {
        auto name = decode_enum_name(value, held);
        if (!name) return fail(std::move(name).error());
        auto named = enum_named<T>(name.value());
        if (!named) return fail(ObjectError::message(std::move(named).error()));
        out = named.value();
        return {};
    } else if constexpr (is_text_form<T>) {
        auto text = decode_text(value, held);
        if (!text) return fail(std::move(text).error());
        auto parsed = TextForm<T>::parse(text.value());
        if (!parsed) return fail(ObjectError::message(std::move(parsed).error()));
        out = std::move(parsed).value();
        return {};
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        return store(decode_text(value, held), out);
    } else if constexpr (std::is_same_v<T, double>) {
        return store(decode_double(value), out);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return store(decode_u32(value), out);
    } else {
        static_assert(sizeof(T) == 0, "no Python form for this member type");
    }
}

}  // namespace object_decoder_detail

// The record T read from a Python object. Its texts are valid while `held` is.
template <class T>
ObjectResult<T> decode_object(PyObject* object, HeldTexts& held) {
    T record{};
    LORVANE_TRY(object_decoder_detail::decode_record(object, record, held));
    return record;
}

}  // namespace lorvane
