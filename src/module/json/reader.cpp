#include "module/json/reader.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "common/utf8.hpp"
#include "module/json/float_text.hpp"
#include "module/json/string_scan.hpp"

namespace lorvane {

namespace {

constexpr std::string_view eof_value = "EOF while parsing a value";
constexpr std::string_view eof_list = "EOF while parsing a list";
constexpr std::string_view eof_object = "EOF while parsing an object";
constexpr std::string_view eof_string = "EOF while parsing a string";
constexpr std::string_view control_character =
    "control character (\\u0000-\\u001F) found while parsing a string";
constexpr std::string_view invalid_escape = "invalid escape";
constexpr std::string_view invalid_number = "invalid number";
constexpr std::string_view lone_surrogate = "lone leading surrogate in hex escape";
constexpr std::string_view unexpected_end_of_hex = "unexpected end of hex escape";

// Bytes that end a run of plain string text: the double quote, the backslash, and the
// control bytes below 0x20.
// Per byte: its value as a hex digit, or not_hex.
constexpr std::uint8_t not_hex = 0xFF;
constexpr std::array<std::uint8_t, 256> hex_values = [] {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = not_hex;
    for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table['a' + c] = static_cast<std::uint8_t>(10 + c);
        table['A' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return table;
}();

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// A string as it appears in a wrong-kind message: between double quotes, with the
// quote, the backslash, tab, carriage return and line feed escaped, and the other
// control bytes written as \u{..}.
void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case 0: out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    static constexpr char digits[] = "0123456789abcdef";
                    out += "\\u{";
                    if (c >= 0x10) out += digits[c >> 4];
                    out += digits[c & 0xF];
                    out += '}';
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

}  // namespace

std::string JsonError::display() const {
    if (line == 0) return text;
    std::string out = text;
    out += " at line ";
    out += std::to_string(line);
    out += " column ";
    out += std::to_string(column);
    return out;
}

// The error's byte is the one before `end`; it belongs to the line that the line feeds
// before it leave it on.
JsonError JsonReader::error_ending(std::size_t end, std::string text) const {
    JsonError error{std::move(text), 1, 0};
    if (end > 0) {
        const std::string_view before = text_.substr(0, end - 1);
        const std::size_t last_feed = before.rfind('\n');
        const std::size_t line_start = last_feed == std::string_view::npos ? 0 : last_feed + 1;
        error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
        error.column = end - line_start;
    }
    return error;
}

Failure<JsonError> JsonReader::syntax_error_at(std::size_t at, std::string_view text) const {
    return fail(error_ending(std::min(at + 1, text_.size()), std::string(text)));
}

Failure<JsonError> JsonReader::message_error(std::string text) const {
    return fail(error_ending(index_, std::move(text)));
}

Failure<JsonError> JsonReader::wrong_kind(std::string_view expected) {
    std::string message = "invalid type: ";
    if (auto described = describe_value(message); !described) return fail(std::move(described).error());
    message += ", expected ";
    message += expected;
    return message_error(std::move(message));
}

// ---- strings ----

JsonResult<std::string_view> JsonReader::read_string() {
    const std::size_t start = index_ + 1;
    const std::size_t i = find_json_special(text_, start);
    if (i < text_.size() && text_[i] == '"') {
        index_ = i + 1;
        return text_.substr(start, i - start);
    }
    index_ = i;
    return read_escaped_string(start);
}

std::string_view JsonReader::keep(std::string_view read) {
    const auto at = reinterpret_cast<std::uintptr_t>(read.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(text_.data());
    if (at >= begin && at - begin <= text_.size()) return read;
    return kept_.emplace_back(read);
}

// Continues a string at its first backslash, control byte or the end of the text,
// building its text in the scratch buffer.
JsonResult<std::string_view> JsonReader::read_escaped_string(std::size_t start) {
    scratch_.assign(text_.data() + start, index_ - start);
    for (;;) {
        if (index_ == text_.size()) return syntax_error(eof_string);
        const char c = text_[index_];
        if (c == '"') {
            ++index_;
            return std::string_view(scratch_);
        }
        if (c != '\\') return syntax_error(control_character);
        ++index_;
        LORVANE_TRY(read_escape(&scratch_));
        const std::size_t run = index_;
        index_ = find_json_special(text_, run);
        scratch_.append(text_.data() + run, index_ - run);
    }
}

JsonResult<void> JsonReader::skip_string() {
    ++index_;
    for (;;) {
        index_ = find_json_special(text_, index_);
        if (index_ == text_.size()) return syntax_error(eof_string);
        const char c = text_[index_];
        if (c == '"') {
            ++index_;
            return {};
        }
        if (c != '\\') return syntax_error(control_character);
        ++index_;
        LORVANE_TRY(read_escape(nullptr));
    }
}

JsonResult<std::uint16_t> JsonReader::read_hex4() {
    std::uint16_t unit = 0;
    for (int k = 0; k < 4; ++k) {
        if (index_ == text_.size()) return syntax_error(eof_string);
        const std::uint8_t digit = hex_values[static_cast<unsigned char>(text_[index_])];
        if (digit == not_hex) return syntax_error(invalid_escape);
        unit = static_cast<std::uint16_t>(unit * 16 + digit);
        ++index_;
    }
    return unit;
}

// After a backslash: one escape, appended to `into` unless it is null (validation only).
JsonResult<void> JsonReader::read_escape(std::string* into) {
    if (index_ == text_.size()) return syntax_error(eof_string);
    char plain = 0;
    switch (text_[index_]) {
        case '"': plain = '"'; break;
        case '\\': plain = '\\'; break;
        case '/': plain = '/'; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': break;
        default: return syntax_error(invalid_escape);
    }
    ++index_;
    if (plain) {
        if (into) *into += plain;
        return {};
    }
    auto unit = read_hex4();
    if (!unit) return fail(std::move(unit).error());
    char32_t cp = unit.value();
    if (cp >= 0xDC00 && cp <= 0xDFFF) return syntax_error_at(index_ - 1, lone_surrogate);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (index_ == text_.size()) return syntax_error(eof_string);
        if (text_[index_] != '\\') return syntax_error(unexpected_end_of_hex);
        ++index_;
        if (index_ == text_.size()) return syntax_error(eof_string);
        if (text_[index_] != 'u') return syntax_error(unexpected_end_of_hex);
        ++index_;
        auto low = read_hex4();
        if (!low) return fail(std::move(low).error());
        if (low.value() < 0xDC00 || low.value() > 0xDFFF) return syntax_error_at(index_ - 1, lone_surrogate);
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low.value() - 0xDC00u);
    }
    if (into) {
        char bytes[4];
        into->append(bytes, utf8::encode_utf8(cp, bytes));
    }
    return {};
}

// ---- literals and numbers ----

JsonResult<void> JsonReader::read_literal(std::string_view word) {
    for (std::size_t k = 1; k < word.size(); ++k) {
        const std::size_t at = index_ + k;
        if (at == text_.size()) {
            index_ = at;
            return syntax_error(eof_value);
        }
        if (text_[at] != word[k]) return syntax_error_at(at, "expected ident");
    }
    index_ += word.size();
    return {};
}

// At a place where a digit is due: the end of the text or any other byte fails.
JsonResult<void> JsonReader::expect_digit() {
    if (index_ == text_.size()) return syntax_error(eof_value);
    if (!is_digit(text_[index_])) return syntax_error(invalid_number);
    return {};
}

JsonResult<JsonNumber> JsonReader::read_number() {
    const char* p = text_.data();
    const std::size_t n = text_.size();
    const std::size_t start = index_;
    const bool negative = p[index_] == '-';
    if (negative) ++index_;
    LORVANE_TRY(expect_digit());

    std::uint64_t magnitude = 0;
    bool too_long = false;          // the integer part does not fit in 64 bits
    std::int64_t leading_place = 0;  // decimal place of the first non-zero digit, roughly
    if (p[index_] == '0') {
        ++index_;
        if (index_ < n && is_digit(p[index_])) return syntax_error(invalid_number);
    } else {
        for (; index_ < n && is_digit(p[index_]); ++index_) {
            const unsigned digit = static_cast<unsigned>(p[index_] - '0');
            if (!too_long && magnitude <= (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
                magnitude = magnitude * 10 + digit;
            else
                too_long = true;
            ++leading_place;
        }
    }
    bool integral = true;
    if (index_ < n && p[index_] == '.') {
        integral = false;
        ++index_;
        LORVANE_TRY(expect_digit());
        bool nonzero_seen = leading_place > 0;
        for (; index_ < n && is_digit(p[index_]); ++index_) {
            if (!nonzero_seen) {
                if (p[index_] == '0')
                    --leading_place;
                else
                    nonzero_seen = true;
            }
        }
    }
    std::int64_t exponent = 0;
    if (index_ < n && (p[index_] == 'e' || p[index_] == 'E')) {
        integral = false;
        ++index_;
        bool exponent_negative = false;
        if (index_ < n && (p[index_] == '+' || p[index_] == '-')) {
            exponent_negative = p[index_] == '-';
            ++index_;
        }
        LORVANE_TRY(expect_digit());
        for (; index_ < n && is_digit(p[index_]); ++index_)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (p[index_] - '0');
        if (exponent_negative) exponent = -exponent;
    }

    JsonNumber out;
    if (integral && !too_long) {
        if (!negative) {
            out.kind = JsonNumber::Kind::unsigned_integer;
            out.u = magnitude;
            return out;
        }
        constexpr std::uint64_t min_magnitude = std::uint64_t{1} << 63;
        if (magnitude != 0 && magnitude <= min_magnitude) {
            out.kind = JsonNumber::Kind::signed_integer;
            out.i = magnitude == min_magnitude ? std::numeric_limits<std::int64_t>::min()
                                               : -static_cast<std::int64_t>(magnitude);
            return out;
        }
        out.kind = JsonNumber::Kind::floating;  // "-0" and negatives beyond 64 bits
        out.d = -static_cast<double>(magnitude);
        return out;
    }

    out.kind = JsonNumber::Kind::floating;
    const auto [end, ec] = std::from_chars(p + start, p + index_, out.d);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Either rounds to infinity (fails) or to zero (reads as a signed zero).
        if (exponent + leading_place > 0) return syntax_error_at(index_ - 1, "number out of range");
        out.d = negative ? -0.0 : 0.0;
    }
    return out;
}

// ---- containers ----

JsonResult<void> JsonReader::open_container() {
    if (--depth_ == 0) return syntax_error("recursion limit exceeded");
    ++index_;
    return {};
}

// Steps over the comma before the next item of an open array or object: false at its
// closing byte (not consumed); otherwise the reader stands at the item.
JsonResult<bool> JsonReader::next_item(bool& first, char closing) {
    const bool array = closing == ']';
    int c = peek();
    if (c == end_of_text) return syntax_error(array ? eof_list : eof_object);
    if (c == closing) return false;
    if (first) {
        first = false;
    } else if (c == ',') {
        ++index_;
        c = peek();
        if (c == closing) return syntax_error("trailing comma");
        if (c == end_of_text) return syntax_error(eof_value);
    } else {
        return syntax_error(array ? "expected `,` or `]`" : "expected `,` or `}`");
    }
    return true;
}

JsonResult<bool> JsonReader::next_element(bool& first) { return next_item(first, ']'); }

JsonResult<bool> JsonReader::next_key(bool& first) {
    auto has = next_item(first, '}');
    if (has && has.value() && peek() != '"') return syntax_error("key must be a string");
    return has;
}

JsonResult<void> JsonReader::read_colon() {
    const int c = peek();
    if (c == ':') {
        ++index_;
        return {};
    }
    return syntax_error(c == end_of_text ? eof_object : "expected `:`");
}

JsonResult<void> JsonReader::end_array() {
    int c = peek();
    if (c == ']') {
        ++index_;
        return {};
    }
    if (c == end_of_text) return syntax_error(eof_list);
    if (c == ',') {
        ++index_;
        if (peek() == ']') return syntax_error("trailing comma");
    }
    return syntax_error("trailing characters");
}

JsonResult<void> JsonReader::end_text() {
    if (peek() == end_of_text) return {};
    return syntax_error("trailing characters");
}

// One value of any kind. Open brackets are kept as a stack of bytes in the scratch
// buffer, so the depth of the value costs no call stack.
JsonResult<void> JsonReader::skip_value() {
    scratch_.clear();
    for (;;) {
        // A value is due.
        int c = peek();
        switch (c) {
            case end_of_text: return syntax_error(eof_value);
            case '"': LORVANE_TRY(skip_string()); break;
            case 'n': LORVANE_TRY(read_literal("null")); break;
            case 't': LORVANE_TRY(read_literal("true")); break;
            case 'f': LORVANE_TRY(read_literal("false")); break;
            case '-': case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': LORVANE_TRY(read_number()); break;
            case '[':
                ++index_;
                c = peek();
                if (c == end_of_text) return syntax_error(eof_list);
                if (c == ']') {
                    ++index_;
                    break;
                }
                scratch_ += '[';
                continue;
            case '{':
                ++index_;
                c = peek();
                if (c == end_of_text) return syntax_error(eof_object);
                if (c == '}') {
                    ++index_;
                    break;
                }
                if (c != '"') return syntax_error("key must be a string");
                LORVANE_TRY(skip_string());
                LORVANE_TRY(read_colon());
                scratch_ += '{';
                continue;
            default: return syntax_error("expected value");
        }
        // A value has ended: close brackets until another value is due.
        for (;;) {
            if (scratch_.empty()) return {};
            const bool in_array = scratch_.back() == '[';
            const char closing = in_array ? ']' : '}';
            c = peek();
            if (c == closing) {
                ++index_;
                scratch_.pop_back();
                continue;
            }
            if (c == ',') {
                ++index_;
                c = peek();
                if (c == closing) return syntax_error("trailing comma");
                if (c == end_of_text) return syntax_error(eof_value);
                if (!in_array) {
                    if (c != '"') return syntax_error("key must be a string");
                    LORVANE_TRY(skip_string());
                    LORVANE_TRY(read_colon());
                }
                break;
            }
            if (c == end_of_text) return syntax_error(in_array ? eof_list : eof_object);
            return syntax_error(in_array ? "expected `,` or `]`" : "expected `,` or `}`");
        }
    }
}

void JsonNumber::describe(std::string& out) const {
    switch (kind) {
        case Kind::unsigned_integer:
            out += "integer `";
            out += std::to_string(u);
            break;
        case Kind::signed_integer:
            out += "integer `";
            out += std::to_string(i);
            break;
        case Kind::floating:
            out += "floating point `";
            append_float(out, d);
            break;
    }
    out += '`';
}

JsonResult<void> JsonReader::describe_value(std::string& out) {
    switch (peek()) {
        case end_of_text: return syntax_error(eof_value);
        case 'n':
            LORVANE_TRY(read_literal("null"));
            out += "null";
            return {};
        case 't':
            LORVANE_TRY(read_literal("true"));
            out += "boolean `true`";
            return {};
        case 'f':
            LORVANE_TRY(read_literal("false"));
            out += "boolean `false`";
            return {};
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
            auto number = read_number();
            if (!number) return fail(std::move(number).error());
            number.value().describe(out);
            return {};
        }
        case '"': {
            auto text = read_string();
            if (!text) return fail(std::move(text).error());
            out += "string ";
            append_quoted(out, text.value());
            return {};
        }
        case '[': out += "sequence"; return {};
        case '{': out += "map"; return {};
        default: return syntax_error("expected value");
    }
}

}  // namespace lorvane
