// The kinds of the JSON decoder that need no record description.
#include "module/json/decoder.hpp"

#include <limits>

namespace lorvane::json_detail {

namespace {

bool starts_number(int c) noexcept { return c == '-' || (c >= '0' && c <= '9'); }

}  // namespace

JsonResult<double> decode_double(JsonReader& reader) {
    if (!starts_number(reader.peek())) return reader.wrong_kind("f64");
    auto number = reader.read_number();
    if (!number) return fail(std::move(number).error());
    return number.value().to_double();
}

JsonResult<std::uint32_t> decode_u32(JsonReader& reader) {
    if (!starts_number(reader.peek())) return reader.wrong_kind("u32");
    auto read = reader.read_number();
    if (!read) return fail(std::move(read).error());
    const JsonNumber& number = read.value();
    if (number.kind == JsonNumber::Kind::unsigned_integer &&
        number.u <= std::numeric_limits<std::uint32_t>::max()) {
        return static_cast<std::uint32_t>(number.u);
    }
    std::string message =
        number.kind == JsonNumber::Kind::floating ? "invalid type: " : "invalid value: ";
    number.describe(message);
    message += ", expected u32";
    return reader.message_error(std::move(message));
}

JsonResult<std::string_view> decode_text(JsonReader& reader) {
    if (reader.peek() != '"') return reader.wrong_kind("a string");
    return reader.read_string();
}

Failure<JsonError> invalid_length(const JsonReader& reader, std::size_t index, std::string_view expected) {
    std::string message = "invalid length ";
    message += std::to_string(index);
    message += ", expected ";
    message += expected;
    return reader.message_error(std::move(message));
}

}  // namespace lorvane::json_detail
