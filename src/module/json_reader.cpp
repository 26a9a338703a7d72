#include "module/json_reader.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "module/float_text.hpp"
#include "module/json_string_scan.hpp"

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

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

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

bool JsonReader::fail_syntax_at(std::size_t at, std::string_view text) {
    error_text_.assign(text);
    error_end_ = std::min(at + 1, text_.size());
    return false;
}

bool JsonReader::fail_message(std::string text) {
    error_text_ = std::move(text);
    error_end_ = index_;
    return false;
}

bool JsonReader::fail_wrong_kind(std::string_view expected) {
    std::string message = "invalid type: ";
    if (!describe_value(message)) return false;
    message += ", expected ";
    message += expected;
    return fail_message(std::move(message));
}

JsonError JsonReader::take_error() {
    JsonError error{std::move(error_text_), 1, 0};
    if (error_end_ > 0) {
        // The error's byte belongs to the line that its preceding line feeds leave it on.
        const std::string_view before = text_.substr(0, error_end_ - 1);
        const std::size_t last_feed = before.rfind('\n');
        const std::size_t line_start = last_feed == std::string_view::npos ? 0 : last_feed + 1;
        error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
        error.column = error_end_ - line_start;
    }
    return error;
}

// ---- strings ----

bool JsonReader::read_string(std::string_view& out) {
    const std::size_t start = index_ + 1;
    const std::size_t i = find_json_special(text_, start);
    if (i < text_.size() && text_[i] == '"') {
        out = text_.substr(start, i - start);
        index_ = i + 1;
        return true;
    }
    index_ = i;
    return read_escaped_string(start, out);
}

std::string_view JsonReader::keep(std::string_view read) {
    const auto at = reinterpret_cast<std::uintptr_t>(read.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(text_.data());
    if (at >= begin && at - begin <= text_.size()) return read;
    return kept_->emplace_back(read);
}

// Continues a string at its first backslash, control byte or the end of the text,
// building its text in the scratch buffer.
bool JsonReader::read_escaped_string(std::size_t start, std::string_view& out) {
    scratch_.assign(text_.data() + start, index_ - start);
    for (;;) {
        if (index_ == text_.size()) return fail_syntax(eof_string);
        const char c = text_[index_];
        if (c == '"') {
            ++index_;
            out = scratch_;
            return true;
        }
        if (c != '\\') return fail_syntax(control_character);
        ++index_;
        if (!read_escape(&scratch_)) return false;
        const std::size_t run = index_;
        index_ = find_json_special(text_, run);
        scratch_.append(text_.data() + run, index_ - run);
    }
}

bool JsonReader::skip_string() {
    ++index_;
    for (;;) {
        index_ = find_json_special(text_, index_);
        if (index_ == text_.size()) return fail_syntax(eof_string);
        const char c = text_[index_];
        if (c == '"') {
            ++index_;
            return true;
        }
        if (c != '\\') return fail_syntax(control_character);
        ++index_;
        if (!read_escape(nullptr)) return false;
    }
}

bool JsonReader::read_hex4(std::uint16_t& unit) {
    unit = 0;
    for (int k = 0; k < 4; ++k) {
        if (index_ == text_.size()) return fail_syntax(eof_string);
        const std::uint8_t digit = hex_values[static_cast<unsigned char>(text_[index_])];
        if (digit == not_hex) return fail_syntax(invalid_escape);
        unit = static_cast<std::uint16_t>(unit * 16 + digit);
        ++index_;
    }
    return true;
}

// After a backslash: one escape, appended to `into` unless it is null (validation only).
bool JsonReader::read_escape(std::string* into) {
    if (index_ == text_.size()) return fail_syntax(eof_string);
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
        default: return fail_syntax(invalid_escape);
    }
    ++index_;
    if (plain) {
        if (into) *into += plain;
        return true;
    }
    std::uint16_t unit;
    if (!read_hex4(unit)) return false;
    std::uint32_t cp = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return fail_syntax_at(index_ - 1, lone_surrogate);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (index_ == text_.size()) return fail_syntax(eof_string);
        if (text_[index_] != '\\') return fail_syntax(unexpected_end_of_hex);
        ++index_;
        if (index_ == text_.size()) return fail_syntax(eof_string);
        if (text_[index_] != 'u') return fail_syntax(unexpected_end_of_hex);
        ++index_;
        std::uint16_t low;
        if (!read_hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF) return fail_syntax_at(index_ - 1, lone_surrogate);
        cp = 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) + (low - 0xDC00u);
    }
    if (into) append_utf8(*into, cp);
    return true;
}

// ---- literals and numbers ----

bool JsonReader::read_literal(std::string_view word) {
    for (std::size_t k = 1; k < word.size(); ++k) {
        const std::size_t at = index_ + k;
        if (at == text_.size()) {
            index_ = at;
            return fail_syntax(eof_value);
        }
        if (text_[at] != word[k]) return fail_syntax_at(at, "expected ident");
    }
    index_ += word.size();
    return true;
}

// At a place where a digit is due: the end of the text or any other byte fails.
bool JsonReader::expect_digit() {
    if (index_ == text_.size()) return fail_syntax(eof_value);
    if (!is_digit(text_[index_])) return fail_syntax(invalid_number);
    return true;
}

bool JsonReader::read_number(JsonNumber& out) {
    const char* p = text_.data();
    const std::size_t n = text_.size();
    const std::size_t start = index_;
    const bool negative = p[index_] == '-';
    if (negative) ++index_;
    if (!expect_digit()) return false;

    std::uint64_t magnitude = 0;
    bool too_long = false;          // the integer part does not fit in 64 bits
    std::int64_t leading_place = 0;  // decimal place of the first non-zero digit, roughly
    if (p[index_] == '0') {
        ++index_;
        if (index_ < n && is_digit(p[index_])) return fail_syntax(invalid_number);
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
        if (!expect_digit()) return false;
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
        if (!expect_digit()) return false;
        for (; index_ < n && is_digit(p[index_]); ++index_)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (p[index_] - '0');
        if (exponent_negative) exponent = -exponent;
    }

    if (integral && !too_long) {
        if (!negative) {
            out.kind = JsonNumber::Kind::unsigned_integer;
            out.u = magnitude;
            return true;
        }
        constexpr std::uint64_t min_magnitude = std::uint64_t{1} << 63;
        if (magnitude != 0 && magnitude <= min_magnitude) {
            out.kind = JsonNumber::Kind::signed_integer;
            out.i = magnitude == min_magnitude ? std::numeric_limits<std::int64_t>::min()
                                               : -static_cast<std::int64_t>(magnitude);
            return true;
        }
        out.kind = JsonNumber::Kind::floating;  // "-0" and negatives beyond 64 bits
        out.d = -static_cast<double>(magnitude);
        return true;
    }

    out.kind = JsonNumber::Kind::floating;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(p + start, p + index_, value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Either rounds to infinity (fails) or to zero (reads as a signed zero).
        if (exponent + leading_place > 0) return fail_syntax_at(index_ - 1, "number out of range");
        value = negative ? -0.0 : 0.0;
    }
    out.d = value;
    return true;
}

// ---- containers ----

bool JsonReader::open_container() {
    if (--depth_ == 0) return fail_syntax("recursion limit exceeded");
    ++index_;
    return true;
}

bool JsonReader::next_element(bool& first, bool& has) {
    int c = peek();
    if (c == end_of_text) return fail_syntax(eof_list);
    has = true;
    if (c == ']') {
        has = false;
    } else if (first) {
        first = false;
    } else if (c == ',') {
        ++index_;
        c = peek();
        if (c == ']') return fail_syntax("trailing comma");
        if (c == end_of_text) return fail_syntax(eof_value);
    } else {
        return fail_syntax("expected `,` or `]`");
    }
    return true;
}

bool JsonReader::next_key(bool& first, bool& has) {
    int c = peek();
    if (c == end_of_text) return fail_syntax(eof_object);
    has = true;
    if (c == '}') {
        has = false;
        return true;
    }
    if (first) {
        first = false;
    } else if (c == ',') {
        ++index_;
        c = peek();
        if (c == '}') return fail_syntax("trailing comma");
        if (c == end_of_text) return fail_syntax(eof_value);
    } else {
        return fail_syntax("expected `,` or `}`");
    }
    if (c != '"') return fail_syntax("key must be a string");
    return true;
}

bool JsonReader::read_colon() {
    const int c = peek();
    if (c == ':') {
        ++index_;
        return true;
    }
    return fail_syntax(c == end_of_text ? eof_object : "expected `:`");
}

bool JsonReader::end_array() {
    int c = peek();
    if (c == ']') {
        ++index_;
        return true;
    }
    if (c == end_of_text) return fail_syntax(eof_list);
    if (c == ',') {
        ++index_;
        if (peek() == ']') return fail_syntax("trailing comma");
    }
    return fail_syntax("trailing characters");
}

// One value of any kind. Open brackets are kept as a stack of bytes in the scratch
// buffer, so the depth of the value costs no call stack.
bool JsonReader::skip_value() {
    scratch_.clear();
    for (;;) {
        // A value is due.
        int c = peek();
        switch (c) {
            case end_of_text: return fail_syntax(eof_value);
            case '"':
                if (!skip_string()) return false;
                break;
            case 'n':
                if (!read_literal("null")) return false;
                break;
            case 't':
                if (!read_literal("true")) return false;
                break;
            case 'f':
                if (!read_literal("false")) return false;
                break;
            case '-': case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': {
                JsonNumber number;
                if (!read_number(number)) return false;
                break;
            }
            case '[':
                ++index_;
                c = peek();
                if (c == end_of_text) return fail_syntax(eof_list);
                if (c == ']') {
                    ++index_;
                    break;
                }
                scratch_ += '[';
                continue;
            case '{':
                ++index_;
                c = peek();
                if (c == end_of_text) return fail_syntax(eof_object);
                if (c == '}') {
                    ++index_;
                    break;
                }
                if (c != '"') return fail_syntax("key must be a string");
                if (!skip_string() || !read_colon()) return false;
                scratch_ += '{';
                continue;
            default: return fail_syntax("expected value");
        }
        // A value has ended: close brackets until another value is due.
        for (;;) {
            if (scratch_.empty()) return true;
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
                if (c == closing) return fail_syntax("trailing comma");
                if (c == end_of_text) return fail_syntax(eof_value);
                if (!in_array) {
                    if (c != '"') return fail_syntax("key must be a string");
                    if (!skip_string() || !read_colon()) return false;
                }
                break;
            }
            if (c == end_of_text) return fail_syntax(in_array ? eof_list : eof_object);
            return fail_syntax(in_array ? "expected `,` or `]`" : "expected `,` or `}`");
        }
    }
}

void JsonReader::describe_number(const JsonNumber& number, std::string& out) {
    switch (number.kind) {
        case JsonNumber::Kind::unsigned_integer:
            out += "integer `";
            out += std::to_string(number.u);
            break;
        case JsonNumber::Kind::signed_integer:
            out += "integer `";
            out += std::to_string(number.i);
            break;
        case JsonNumber::Kind::floating:
            out += "floating point `";
            append_float(out, number.d);
            break;
    }
    out += '`';
}

bool JsonReader::describe_value(std::string& out) {
    switch (peek()) {
        case end_of_text: return fail_syntax(eof_value);
        case 'n':
            if (!read_literal("null")) return false;
            out += "null";
            return true;
        case 't':
            if (!read_literal("true")) return false;
            out += "boolean `true`";
            return true;
        case 'f':
            if (!read_literal("false")) return false;
            out += "boolean `false`";
            return true;
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
            JsonNumber number;
            if (!read_number(number)) return false;
            describe_number(number, out);
            return true;
        }
        case '"': {
            std::string_view text;
            if (!read_string(text)) return false;
            out += "string ";
            append_quoted(out, text);
            return true;
        }
        case '[': out += "sequence"; return true;
        case '{': out += "map"; return true;
        default: return fail_syntax("expected value");
    }
}

}  // namespace lorvane
