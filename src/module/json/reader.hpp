// The strict JSON text reader under the request decoder: RFC 8259 and nothing more
// lenient. One forward pass over UTF-8 text; strings without escapes are handed out as
// views into the text; every failure is a JsonError with a line and a byte column,
// computed only when the error is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "common/result.hpp"

namespace lorvane {

struct JsonError {
    std::string text;
    std::size_t line = 0;    // from 1; 0 means the error has no position
    std::size_t column = 0;  // bytes from the start of the line, the error's byte included
    // The text alone when line is 0, else text + " at line {} column {}".
    std::string display() const;
};

template <class T>
using JsonResult = Result<T, JsonError>;

// A number as read: an integer literal keeps its exact value; anything else is a double.
struct JsonNumber {
    enum class Kind { unsigned_integer, signed_integer, floating };
    Kind kind = Kind::unsigned_integer;
    std::uint64_t u = 0;  // unsigned_integer
    std::int64_t i = 0;   // signed_integer (always negative)
    double d = 0.0;       // floating

    double to_double() const noexcept {
        switch (kind) {
            case Kind::unsigned_integer: return static_cast<double>(u);
            case Kind::signed_integer: return static_cast<double>(i);
            case Kind::floating: break;
        }
        return d;
    }
    // "integer `5`", "floating point `1.5`".
    void describe(std::string& out) const;
};

class JsonReader {
public:
    static constexpr int end_of_text = -1;
    static constexpr int initial_depth = 128;

    // `kept` stores the strings that keep() cannot hand out as views into the text.
    JsonReader(std::string_view text, std::deque<std::string>& kept) noexcept
        : text_(text), kept_(kept) {}

    // Skips whitespace (space, tab, line feed, carriage return) and returns the next
    // byte without consuming it, or end_of_text.
    int peek() noexcept {
        while (index_ < text_.size()) {
            unsigned char c = static_cast<unsigned char>(text_[index_]);
            if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return c;
            ++index_;
        }
        return end_of_text;
    }
    void bump() noexcept { ++index_; }

    // At a double quote: the string with its escapes resolved. The view lives until the
    // next read of a string (it may point into the scratch buffer).
    JsonResult<std::string_view> read_string();
    // A string just read, as a view that lives as long as the text and the store.
    std::string_view keep(std::string_view read);
    // At '-' or a digit.
    JsonResult<JsonNumber> read_number();
    // At 'n', 't' or 'f': the literal `word` ("null", "true", "false").
    JsonResult<void> read_literal(std::string_view word);
    // The next value of any kind, well-formed, at any depth, dropped.
    JsonResult<void> skip_value();

    // At '[' or '{': consumes it, costing one level of depth.
    JsonResult<void> open_container();
    // After the matching ']' or '}' has been consumed.
    void close_container() noexcept { ++depth_; }

    // Steps to the next array element: false at the closing bracket (not consumed).
    JsonResult<bool> next_element(bool& first);
    // Steps to the next object key: false at the closing brace (not consumed); otherwise
    // the reader stands at the key's opening quote.
    JsonResult<bool> next_key(bool& first);
    // After a key: the colon.
    JsonResult<void> read_colon();
    // After the last element that an array may hold: its closing bracket, consumed.
    JsonResult<void> end_array();
    // After the request's value: nothing but whitespace.
    JsonResult<void> end_text();

    // Failures. A syntax text lies at the byte at `at` (the last byte of the text when it
    // has ended); a decoder's message lies at the last byte passed.
    Failure<JsonError> syntax_error(std::string_view text) const { return syntax_error_at(index_, text); }
    Failure<JsonError> syntax_error_at(std::size_t at, std::string_view text) const;
    Failure<JsonError> message_error(std::string text) const;
    // "invalid type: {the value here}, expected {expected}", or the value's own syntax error.
    Failure<JsonError> wrong_kind(std::string_view expected);

private:
    JsonError error_ending(std::size_t end, std::string text) const;
    JsonResult<bool> next_item(bool& first, char closing);
    JsonResult<std::string_view> read_escaped_string(std::size_t start);
    JsonResult<void> read_escape(std::string* into);
    JsonResult<std::uint16_t> read_hex4();
    JsonResult<void> skip_string();
    JsonResult<void> expect_digit();
    // The value at the current position, for a wrong-kind message: a scalar is read whole;
    // an array or object is only peeked at ("sequence", "map").
    JsonResult<void> describe_value(std::string& out);

    std::string_view text_;
    std::size_t index_ = 0;
    int depth_ = initial_depth;
    std::string scratch_;
    std::deque<std::string>& kept_;
};

}  // namespace lorvane
