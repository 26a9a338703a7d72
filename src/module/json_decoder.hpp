// Decoding a request record from JSON text, generic over the record descriptions.
// A record is an object of its fields or an array of its values in declaration order;
// every failure carries the position at which it arose. One forward pass; a string is
// copied only into the record that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/json_reader.hpp"

namespace lorvane {

namespace json_detail {

// The kinds that need no description (json_decoder.cpp).
bool decode_double(JsonReader& reader, double& out);
bool decode_u32(JsonReader& reader, std::uint32_t& out);
bool decode_text(JsonReader& reader, std::string_view& out);
bool decode_enum(JsonReader& reader, const std::string_view* names, std::size_t count,
                 std::size_t& index);
bool fail_invalid_length(JsonReader& reader, std::size_t index, std::string_view expected);
bool expect_end(JsonReader& reader);

template <class T>
bool decode_value(JsonReader& reader, T& out);

template <class T>
bool decode_object(JsonReader& reader, T& out) {
    constexpr std::size_t count = field_count<T>;
    static_assert(count <= 64, "a record's fields are tracked in one 64-bit set");
    if (!reader.open_container()) return false;
    std::uint64_t seen = 0;
    bool first = true;
    for (;;) {
        bool has = false;
        if (!reader.next_key(first, has)) return false;
        if (!has) break;
        std::string_view key;
        if (!reader.read_string(key)) return false;
        const std::size_t index = field_index<T>(key);
        if (index == count) {
            if (!reader.read_colon() || !reader.skip_value()) return false;
            continue;
        }
        const std::uint64_t bit = std::uint64_t{1} << index;
        if (seen & bit) {
            reader.peek();
            return reader.fail_message(duplicate_field_message(key));
        }
        seen |= bit;
        if (!reader.read_colon()) return false;
        bool ok = false;
        visit_field<T>(index, [&](const auto& f) { ok = decode_value(reader, out.*(f.member)); });
        if (!ok) return false;
    }
    reader.bump();  // '}'
    reader.close_container();

    // Absent optional fields stay empty and absent defaulted ones keep their defaults;
    // the first absent required field fails.
    std::size_t index = 0;
    std::string_view missing;
    for_each_field<T>([&](const auto& f) {
        if (missing.empty() && f.presence == Presence::required && !(seen & (std::uint64_t{1} << index)))
            missing = f.key;
        ++index;
    });
    if (!missing.empty()) return reader.fail_message(missing_field_message(missing));
    return true;
}

template <class T>
bool decode_array_form(JsonReader& reader, T& out) {
    if (!reader.open_container()) return false;
    bool first = true;
    bool ended = false;  // the closing bracket has been seen (not consumed)
    bool ok = true;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        if (!ok) return;
        if (!ended) {
            bool has = false;
            ok = reader.next_element(first, has);
            ended = !has;
        }
        if (ok && ended && f.presence == Presence::required) {
            reader.bump();  // ']'
            ok = fail_invalid_length(reader, index, record_array_text<T>());
        } else if (ok && !ended) {
            ok = decode_value(reader, out.*(f.member));
        }
        ++index;
    });
    if (!ok) return false;
    if (ended)
        reader.bump();  // ']'
    else if (!reader.end_array())
        return false;
    reader.close_container();
    return true;
}

template <class T>
bool decode_record(JsonReader& reader, T& out) {
    const int c = reader.peek();
    if (c == '{') return decode_object(reader, out);
    if (c == '[') return decode_array_form(reader, out);
    return reader.fail_wrong_kind(record_kind_text<T>());
}

template <class T>
bool decode_list(JsonReader& reader, std::vector<T>& out) {
    if (reader.peek() != '[') return reader.fail_wrong_kind("a sequence");
    if (!reader.open_container()) return false;
    bool first = true;
    for (;;) {
        bool has = false;
        if (!reader.next_element(first, has)) return false;
        if (!has) break;
        if (!decode_value(reader, out.emplace_back())) return false;
    }
    reader.bump();  // ']'
    reader.close_container();
    return true;
}

template <class>
inline constexpr bool unsupported_kind = false;

template <class T>
bool decode_value(JsonReader& reader, T& out) {
    if constexpr (std::is_same_v<T, double>) {
        return decode_double(reader, out);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return decode_u32(reader, out);
    } else if constexpr (std::is_same_v<T, std::string>) {
        std::string_view text;
        if (!decode_text(reader, text)) return false;
        out.assign(text);
        return true;
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        // Records with text views are read by decode_json_in_place only.
        std::string_view text;
        if (!decode_text(reader, text)) return false;
        out = reader.keep(text);
        return true;
    } else if constexpr (is_named_enum<T>) {
        const auto& names = EnumNames<T>::names;
        std::size_t index = 0;
        if (!decode_enum(reader, names.data(), names.size(), index)) return false;
        out = static_cast<T>(index);
        return true;
    } else if constexpr (is_text_form<T>) {
        std::string_view text;
        if (!decode_text(reader, text)) return false;
        auto parsed = TextForm<T>::parse(text);
        if (!parsed) return reader.fail_message(std::move(parsed).error());
        out = std::move(parsed).value();
        return true;
    } else if constexpr (is_record<T>) {
        return decode_record(reader, out);
    } else if constexpr (is_vector<T>) {
        return decode_list(reader, out);
    } else if constexpr (is_optional<T>) {
        // null is no value; a defaulted or required field never has an optional member.
        if (reader.peek() == 'n') {
            out.reset();
            return reader.read_literal("null");
        }
        return decode_value(reader, out.emplace());
    } else {
        static_assert(unsupported_kind<T>, "no JSON reading for this member type");
        return false;
    }
}

}  // namespace json_detail

// The record T read from UTF-8 JSON text, or the first failure with its position.
// Its std::string_view members view the text, or `kept` for strings with escapes: the
// record is valid while both are.
template <class T>
Result<T, JsonError> decode_json_in_place(std::string_view text, std::deque<std::string>& kept) {
    JsonReader reader(text, kept);
    T record{};
    if (json_detail::decode_value(reader, record) && json_detail::expect_end(reader)) return record;
    return fail(reader.take_error());
}

// The record T read from UTF-8 JSON text, or the first failure with its position.
template <class T>
Result<T, JsonError> decode_json(std::string_view text) {
    JsonReader reader(text);
    T record{};
    if (json_detail::decode_value(reader, record) && json_detail::expect_end(reader)) return record;
    return fail(reader.take_error());
}

}  // namespace lorvane
