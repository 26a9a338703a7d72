// The kinds of the JSON decoder that need no record description.
#include "module/json_decoder.hpp"

#include <limits>

namespace lorvane::json_detail {

namespace {

bool starts_number(int c) noexcept { return c == '-' || (c >= '0' && c <= '9'); }

bool match_name(JsonReader& reader, std::string_view name, const std::string_view* names,
                std::size_t count, std::size_t& index) {
    for (std::size_t i = 0; i < count; ++i) {
        if (names[i] == name) {
            index = i;
            return true;
        }
    }
    return reader.fail_message(unknown_variant_message(name, names, count));
}

}  // namespace

bool decode_double(JsonReader& reader, double& out) {
    if (!starts_number(reader.peek())) return reader.fail_wrong_kind("f64");
    JsonNumber number;
    if (!reader.read_number(number)) return false;
    out = number.to_double();
    return true;
}

bool decode_u32(JsonReader& reader, std::uint32_t& out) {
    if (!starts_number(reader.peek())) return reader.fail_wrong_kind("u32");
    JsonNumber number;
    if (!reader.read_number(number)) return false;
    if (number.kind == JsonNumber::Kind::unsigned_integer &&
        number.u <= std::numeric_limits<std::uint32_t>::max()) {
        out = static_cast<std::uint32_t>(number.u);
        return true;
    }
    std::string message =
        number.kind == JsonNumber::Kind::floating ? "invalid type: " : "invalid value: ";
    JsonReader::describe_number(number, message);
    message += ", expected u32";
    return reader.fail_message(std::move(message));
}

bool decode_text(JsonReader& reader, std::string_view& out) {
    if (reader.peek() != '"') return reader.fail_wrong_kind("a string");
    return reader.read_string(out);
}

// A string naming the value, or an object of one member whose key names it and whose
// value is null.
bool decode_enum(JsonReader& reader, const std::string_view* names, std::size_t count,
                 std::size_t& index) {
    std::string_view name;
    int c = reader.peek();
    if (c == '"') return reader.read_string(name) && match_name(reader, name, names, count, index);
    if (c == JsonReader::end_of_text) return reader.fail_syntax("EOF while parsing a value");
    if (c != '{') return reader.fail_syntax("expected value");

    if (!reader.open_container()) return false;
    c = reader.peek();
    if (c == JsonReader::end_of_text) return reader.fail_syntax("EOF while parsing a value");
    if (c != '"') return reader.fail_wrong_kind("variant identifier");
    if (!reader.read_string(name) || !match_name(reader, name, names, count, index)) return false;
    if (!reader.read_colon()) return false;
    if (reader.peek() != 'n') return reader.fail_wrong_kind("unit");
    if (!reader.read_literal("null")) return false;
    c = reader.peek();
    if (c == JsonReader::end_of_text) return reader.fail_syntax("EOF while parsing an object");
    if (c != '}') return reader.fail_syntax("expected value");
    reader.bump();
    reader.close_container();
    return true;
}

bool fail_invalid_length(JsonReader& reader, std::size_t index, std::string_view expected) {
    std::string message = "invalid length ";
    message += std::to_string(index);
    message += ", expected ";
    message += expected;
    return reader.fail_message(std::move(message));
}

bool expect_end(JsonReader& reader) {
    if (reader.peek() == JsonReader::end_of_text) return true;
    return reader.fail_syntax("trailing characters");
}

}  // namespace lorvane::json_detail
