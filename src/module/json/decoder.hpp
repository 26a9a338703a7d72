// Decoding a request record from JSON text, generic over the record descriptions.
// A record is an object of its fields or an array of its values in declaration order;
// every failure carries the position at which it arose. One forward pass; texts are
// views into the request text, or into the store of strings that had escapes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/json/reader.hpp"

namespace lorvane {

namespace json_detail {

// The kinds that need no description (decoder.cpp).
JsonResult<double> decode_double(JsonReader& reader);
JsonResult<std::uint32_t> decode_u32(JsonReader& reader);
JsonResult<std::string_view> decode_text(JsonReader& reader);
Failure<JsonError> invalid_length(const JsonReader& reader, std::size_t index, std::string_view expected);

template <class T>
JsonResult<void> decode_value(JsonReader& reader, T& out);

// The enumerator named by the string just read, failing at its closing quote.
template <class E>
JsonResult<E> named(JsonReader& reader, JsonResult<std::string_view>&& name) {
    if (!name) return fail(std::move(name).error());
    auto value = enum_named<E>(name.value());
    if (!value) return reader.message_error(std::move(value).error());
    return value.value();
}

// A string naming the value, or an object of one member whose key names it and whose
// value is null.
template <class E>
JsonResult<E> decode_enum(JsonReader& reader) {
    int c = reader.peek();
    if (c == '"') return named<E>(reader, reader.read_string());
    if (c == JsonReader::end_of_text) return reader.syntax_error("EOF while parsing a value");
    if (c != '{') return reader.syntax_error("expected value");

    LORVANE_TRY(reader.open_container());
    c = reader.peek();
    if (c == JsonReader::end_of_text) return reader.syntax_error("EOF while parsing a value");
    if (c != '"') return reader.wrong_kind("variant identifier");
    auto value = named<E>(reader, reader.read_string());
    if (!value) return value;
    LORVANE_TRY(reader.read_colon());
    if (reader.peek() != 'n') return reader.wrong_kind("unit");
    LORVANE_TRY(reader.read_literal("null"));
    c = reader.peek();
    if (c == JsonReader::end_of_text) return reader.syntax_error("EOF while parsing an object");
    if (c != '}') return reader.syntax_error("expected value");
    reader.bump();
    reader.close_container();
    return value;
}

template <class T>
JsonResult<void> decode_object(JsonReader& reader, T& out) {
    constexpr std::size_t count = field_count<T>;
    static_assert(count <= 64, "a record's fields are tracked in one 64-bit set");
    LORVANE_TRY(reader.open_container());
    std::uint64_t seen = 0;
    bool first = true;
    for (;;) {
        auto has = reader.next_key(first);
        if (!has) return fail(std::move(has).error());
        if (!has.value()) break;
        auto key = reader.read_string();
        if (!key) return fail(std::move(key).error());
        const std::size_t index = field_index<T>(key.value());
        if (index == count) {
            LORVANE_TRY(reader.read_colon());
            LORVANE_TRY(reader.skip_value());
            continue;
        }
        const std::uint64_t bit = std::uint64_t{1} << index;
        if (seen & bit) {
            reader.peek();
            return reader.message_error(duplicate_field_message(key.value()));
        }
        seen |= bit;
        LORVANE_TRY(reader.read_colon());
        JsonResult<void> decoded;
        visit_field<T>(index, [&](const auto& f) { decoded = decode_value(reader, out.*(f.member)); });
        LORVANE_TRY(std::move(decoded));
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
    if (!missing.empty()) return reader.message_error(missing_field_message(missing));
    return {};
}

template <class T>
JsonResult<void> decode_array_form(JsonReader& reader, T& out) {
    LORVANE_TRY(reader.open_container());
    bool first = true;
    bool ended = false;  // the closing bracket has been seen (not consumed)
    JsonResult<void> decoded;
    std::size_t index = 0;
    for_each_field<T>([&](const auto& f) {
        if (!decoded) return;
        if (!ended) {
            auto has = reader.next_element(first);
            if (!has) {
                decoded = fail(std::move(has).error());
                return;
            }
            ended = !has.value();
        }
        if (ended && f.presence == Presence::required) {
            reader.bump();  // ']'
            decoded = invalid_length(reader, index, record_array_text<T>());
        } else if (!ended) {
            decoded = decode_value(reader, out.*(f.member));
        }
        ++index;
    });
    LORVANE_TRY(std::move(decoded));
    if (ended)
        reader.bump();  // ']'
    else
        LORVANE_TRY(reader.end_array());
    reader.close_container();
    return {};
}

template <class T>
JsonResult<void> decode_record(JsonReader& reader, T& out) {
    const int c = reader.peek();
    if (c == '{') return decode_object(reader, out);
    if (c == '[') return decode_array_form(reader, out);
    return reader.wrong_kind(record_kind_text<T>());
}

template <class T>
JsonResult<void> decode_list(JsonReader& reader, std::vector<T>& out) {
    if (reader.peek() != '[') return reader.wrong_kind("a sequence");
    LORVANE_TRY(reader.open_container());
    bool first = true;
    for (;;) {
        auto has = reader.next_element(first);
        if (!has) return fail(std::move(has).error());
        if (!has.value()) break;
        LORVANE_TRY(decode_value(reader, out.emplace_back()));
    }
    reader.bump();  // ']'
    reader.close_container();
    return {};
}

template <class>
inline constexpr bool unsupported_kind = false;

template <class T>
JsonResult<void> decode_value(JsonReader& reader, T& out) {
    if constexpr (std::is_same_v<T, double>) {
        return store(decode_double(reader), out);
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return store(decode_u32(reader), out);
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        auto text = decode_text(reader);
        if (!text) return fail(std::move(text).error());
        out = reader.keep(text.value());
        return {};
    } else if constexpr (is_named_enum<T>) {
        return store(decode_enum<T>(reader), out);
    } else if constexpr (is_text_form<T>) {
        auto text = decode_text(reader);
        if (!text) return fail(std::move(text).error());
        auto parsed = TextForm<T>::parse(text.value());
        if (!parsed) return reader.message_error(std::move(parsed).error());
        out = std::move(parsed).value();
        return {};
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
        return {};
    }
}

}  // namespace json_detail

// The record T read from UTF-8 JSON text, or the first failure with its position. Its
// texts view `text`, or `kept` for strings with escapes: the record is valid while both are.
template <class T>
JsonResult<T> decode_json(std::string_view text, std::deque<std::string>& kept) {
    JsonReader reader(text, kept);
    T record{};
    LORVANE_TRY(json_detail::decode_value(reader, record));
    LORVANE_TRY(reader.end_text());
    return record;
}

}  // namespace lorvane
