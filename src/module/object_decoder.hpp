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
#include "module/py_ref.hpp"
#include "module/utf8_text.hpp"

namespace lorvane {

// A request text read in place, kept alive as long as the record that holds it.
using HeldText = Utf8Text;

namespace object_decoder_detail {

// The outcome of a kind test. A test that raises an Exception is reported as unraisable
// and counts as no; one that raises anything else (KeyboardInterrupt, SystemExit) leaves
// it pending, to pass through unchanged.
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
    // False with the interpreter's error pending.
    bool take(PyObject* mapping);
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

// Matches a str against the field keys (ASCII); field_count when it names none.
template <class T>
std::size_t find_field(PyObject* key) {
    std::size_t found = field_count<T>;
    std::size_t i = 0;
    for_each_field<T>([&](const auto& f) {
        if (found == field_count<T> && PyUnicode_CompareWithASCIIString(key, f.key.data()) == 0)
            found = i;
        ++i;
    });
    return found;
}

bool decode_double(PyObject* value, double& out, ObjectError& error);
bool decode_u32(PyObject* value, std::uint32_t& out, ObjectError& error);
bool decode_text(PyObject* value, std::string& out, ObjectError& error);
bool decode_text(PyObject* value, HeldText& out, ObjectError& error);
// The enumerator index named by a str or a one-entry dict, using the given names.
bool decode_enum_index(PyObject* value, const std::string_view* names, std::size_t count,
                       int& out, ObjectError& error);
// A key that names no field must still be a str that encodes as UTF-8.
bool check_unknown_key(PyObject* key, ObjectError& error);

template <class T>
bool decode_value(PyObject* value, T& out, ObjectError& error);

template <class T>
bool decode_record(PyObject* object, T& out, ObjectError& error) {
    if (const Kind kind = is_mapping(object); kind != Kind::yes) {
        error = not_of_kind(kind, object, "Mapping");
        return false;
    }
    MappingSnapshot snapshot;
    if (!snapshot.take(object)) {
        error = ObjectError::from_interpreter();
        return false;
    }
    std::array<bool, field_count<T>> seen{};
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        PyObject* key = snapshot.key(i);
        if (!PyUnicode_Check(key)) {
            error = ObjectError::message("dict keys must have type str");
            return false;
        }
        const std::size_t index = find_field<T>(key);
        if (index == field_count<T>) {
            if (!check_unknown_key(key, error)) return false;
            continue;
        }
        bool ok = true;
        visit_field<T>(index, [&](const auto& f) {
            if (seen[index]) {
                error = ObjectError::message(duplicate_field_message(f.key));
                ok = false;
                return;
            }
            seen[index] = true;
            auto& member = out.*(f.member);
            using M = std::decay_t<decltype(member)>;
            if constexpr (is_optional<M>) {
                if (snapshot.value(i) == Py_None) {
                    member.reset();
                    return;
                }
                ok = decode_value(snapshot.value(i), member.emplace(), error);
            } else {
                ok = decode_value(snapshot.value(i), member, error);
            }
        });
        if (!ok) return false;
    }
    bool ok = true;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        if (ok && !seen[index] && f.presence == Presence::required) {
            error = ObjectError::message(missing_field_message(f.key));
            ok = false;
        }
        ++index;
    });
    return ok;
}

template <class T>
bool decode_list(PyObject* object, std::vector<T>& out, ObjectError& error) {
    if (const Kind kind = is_sequence(object); kind != Kind::yes) {
        error = not_of_kind(kind, object, "Sequence");
        return false;
    }
    const Py_ssize_t length = PyObject_Size(object);
    if (length < 0) {
        error = ObjectError::from_interpreter();
        return false;
    }
    // A custom sequence, or a subclass of list or tuple with its own __len__, may lie about
    // its length: reserve the whole length only for an exact list or tuple.
    const bool concrete = PyList_CheckExact(object) || PyTuple_CheckExact(object);
    out.reserve(static_cast<std::size_t>(concrete ? length : std::min<Py_ssize_t>(length, 1024)));
    for (Py_ssize_t i = 0; i < length; ++i) {
        PyRef item = PyRef::steal(PySequence_GetItem(object, i));
        if (!item) {
            error = ObjectError::from_interpreter();
            return false;
        }
        if (!decode_value(item.get(), out.emplace_back(), error)) return false;
    }
    return true;
}

template <class T>
bool decode_value(PyObject* value, T& out, ObjectError& error) {
    if constexpr (is_vector<T>) {
        return decode_list(value, out, error);
    } else if constexpr (is_record<T>) {
        return decode_record(value, out, error);
    } else if constexpr (is_named_enum<T>) {
        const auto& names = EnumNames<T>::names;
        int index = 0;
        if (!decode_enum_index(value, names.data(), names.size(), index, error)) return false;
        out = static_cast<T>(index);
        return true;
    } else if constexpr (is_text_form<T>) {
        std::string text;
        if (!decode_text(value, text, error)) return false;
        auto parsed = TextForm<T>::parse(text);
        if (!parsed) {
            error = ObjectError::message(std::move(parsed).error());
            return false;
        }
        out = std::move(parsed).value();
        return true;
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, HeldText>) {
        return decode_text(value, out, error);
    } else if constexpr (std::is_same_v<T, double>) {
        return decode_double(value, out, error);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return decode_u32(value, out, error);
    } else {
        static_assert(sizeof(T) == 0, "no Python form for this member type");
    }
}

}  // namespace object_decoder_detail

template <class T>
Result<T, ObjectError> decode_object(PyObject* object) {
    T record{};
    ObjectError error;
    if (!object_decoder_detail::decode_record(object, record, error)) return fail(std::move(error));
    return record;
}

}  // namespace lorvane
