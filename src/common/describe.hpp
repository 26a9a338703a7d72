// One description per record: its name and its fields in declaration order, each with
// its key, its member and its presence rule. The field's kind follows from the member's
// type. Every decoder and encoder is generic over these descriptions.
//
//   template <> struct Describe<MapInput> {
//       static constexpr std::string_view name = "MapInput";
//       static constexpr auto fields = std::tuple{field("narration", &MapInput::narration)};
//   };
//
// Kinds by member type: double; std::uint32_t (and, in results, the other integers);
// std::string_view, a text that lives in what the call holds (the request's text or the
// objects it was read from, a result's own storage); an enumeration with EnumNames<E>; a
// text-form value with TextForm<T> (parsed from and written as a string); a described
// record; std::vector<K>; std::optional<K> for optional fields and for list entries that
// may be absent; and Picks<K>, a list of entries drawn from a few records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/result.hpp"

namespace lorvane {

enum class Presence {
    required,   // absent: "missing field"; null: a value of the wrong kind
    optional,   // absent or null: no value; in results, left out when it has no value
    defaulted,  // absent: the member's default initialiser; null: a value of the wrong kind
};

template <class Record, class Member>
struct Field {
    using record_type = Record;
    using member_type = Member;
    std::string_view key;
    Member Record::*member;
    Presence presence;
};

template <class Record, class Member>
constexpr Field<Record, Member> field(std::string_view key, Member Record::*member,
                                      Presence presence = Presence::required) {
    return {key, member, presence};
}

// Specialised per record: `name` and `fields`.
template <class T>
struct Describe;

// Specialised per enumeration: `names`, indexed by the enumerator's value (0, 1, ...).
template <class T>
struct EnumNames;

// Specialised per text-form value:
//   static Result<T, std::string> parse(std::string_view);  // message on rejection
//   static void format(const T&, std::string& out);
template <class T>
struct TextForm;

template <class T, class = void>
inline constexpr bool is_record = false;
template <class T>
inline constexpr bool is_record<T, std::void_t<decltype(Describe<T>::fields)>> = true;

template <class T, class = void>
inline constexpr bool is_named_enum = false;
template <class T>
inline constexpr bool is_named_enum<T, std::void_t<decltype(EnumNames<T>::names)>> = true;

template <class T, class = void>
inline constexpr bool is_text_form = false;
template <class T>
inline constexpr bool is_text_form<T, std::void_t<decltype(TextForm<T>::parse)>> = true;

template <class T>
inline constexpr bool is_optional = false;
template <class T>
inline constexpr bool is_optional<std::optional<T>> = true;

template <class T>
inline constexpr bool is_vector = false;
template <class T>
inline constexpr bool is_vector<std::vector<T>> = true;

// A list whose entries are drawn from a few records, or absent: entry i is
// choices[picked[i]], or absent where picked[i] is `none`. An encoder makes each chosen
// record's form once and copies it for every entry that picks it.
template <class T>
struct Picks {
    static constexpr std::uint32_t none = UINT32_MAX;
    std::vector<T> choices;
    std::vector<std::uint32_t> picked;
};

template <class T>
inline constexpr bool is_picks = false;
template <class T>
inline constexpr bool is_picks<Picks<T>> = true;

template <class T>
inline constexpr std::size_t field_count = std::tuple_size_v<std::decay_t<decltype(Describe<T>::fields)>>;

// Calls f(field) for every field of T, in declaration order.
template <class T, class F>
constexpr void for_each_field(F&& f) {
    std::apply([&](const auto&... fields) { (f(fields), ...); }, Describe<T>::fields);
}

// Calls f(field) for the field at `index` (declaration order); false if there is none.
template <class T, class F>
constexpr bool visit_field(std::size_t index, F&& f) {
    return std::apply(
        [&](const auto&... fields) {
            std::size_t i = 0;
            return ((i++ == index ? (f(fields), true) : false) || ...);
        },
        Describe<T>::fields);
}

// Index of the field whose key is `key`, or field_count<T> when no field has it.
template <class T>
constexpr std::size_t field_index(std::string_view key) {
    std::size_t found = field_count<T>;
    std::size_t i = 0;
    for_each_field<T>([&](const auto& f) {
        if (found == field_count<T> && f.key == key) found = i;
        ++i;
    });
    return found;
}

// "struct EmiRequest"
template <class T>
std::string record_kind_text() {
    return "struct " + std::string(Describe<T>::name);
}

// "struct EmiRequest with 7 elements", "struct MapInput with 1 element"
template <class T>
std::string record_array_text() {
    std::string text = record_kind_text<T>();
    text += " with " + std::to_string(field_count<T>) + (field_count<T> == 1 ? " element" : " elements");
    return text;
}

// Shared decoding messages of both request forms.
std::string missing_field_message(std::string_view key);
std::string duplicate_field_message(std::string_view key);
std::string unknown_variant_message(std::string_view name, const std::string_view* names,
                                    std::size_t count);

// The enumerator named `name`, or the unknown-variant message that names the values.
template <class E>
Result<E, std::string> enum_named(std::string_view name) {
    const auto& names = EnumNames<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<E>(i);
    return fail(unknown_variant_message(name, names.data(), names.size()));
}

template <class E>
std::string_view enum_name(E value) {
    return EnumNames<E>::names[static_cast<std::size_t>(value)];
}

}  // namespace lorvane
