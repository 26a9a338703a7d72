// Compact JSON text from a described result record: one pass, no whitespace between
// tokens, members in declaration order, floats in the float text form.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/describe.hpp"
#include "module/float_text.hpp"

namespace lorvane {

// Appends `text` as a JSON string: quotes, backslashes and bytes below 0x20 escaped,
// everything else (0x7F and all non-ASCII included) copied unchanged.
void append_json_string(std::string& out, std::string_view text);

namespace json_writer_detail {

template <class T>
void write_value(std::string& out, const T& value);

template <class T>
void write_integer(std::string& out, T value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    out.append(buffer, end);
}

template <class T>
void write_record(std::string& out, const T& record) {
    out += '{';
    bool first = true;
    for_each_field<T>([&](const auto& f) {
        const auto& member = record.*(f.member);
        using M = std::decay_t<decltype(member)>;
        if constexpr (is_optional<M>) {
            if (f.presence == Presence::optional && !member) return;
        }
        if (!first) out += ',';
        first = false;
        append_json_string(out, f.key);
        out += ':';
        write_value(out, member);
    });
    out += '}';
}

template <class T>
void write_value(std::string& out, const T& value) {
    if constexpr (is_optional<T>) {
        if (value) write_value(out, *value);
        else out += "null";
    } else if constexpr (is_vector<T>) {
        out += '[';
        bool first = true;
        for (const auto& element : value) {
            if (!first) out += ',';
            first = false;
            write_value(out, element);
        }
        out += ']';
    } else if constexpr (is_record<T>) {
        write_record(out, value);
    } else if constexpr (is_named_enum<T>) {
        append_json_string(out, enum_name(value));
    } else if constexpr (is_text_form<T>) {
        std::string text;
        TextForm<T>::format(value, text);
        append_json_string(out, text);
    } else if constexpr (std::is_same_v<T, std::string>) {
        append_json_string(out, value);
    } else if constexpr (std::is_same_v<T, double>) {
        if (std::isfinite(value)) append_float(out, value);
        else out += "null";
    } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        write_integer(out, value);
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this member type");
    }
}

}  // namespace json_writer_detail

template <class T>
void encode_json(const T& record, std::string& out) {
    json_writer_detail::write_record(out, record);
}

}  // namespace lorvane
