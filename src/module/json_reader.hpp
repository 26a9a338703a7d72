// The strict JSON text reader under the request decoder: RFC 8259 and nothing more
// lenient. One forward pass over UTF-8 text; strings without escapes are handed out as
// views into the text; every failure is a JsonError with a line and a byte column,
// computed only when the error is made.
//
// Operations return false after recording their failure; `take_error()` hands it out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace lorvane {

struct JsonError {
    std::string text;
    std::size_t line = 0;    // from 1; 0 means the error has no position
    std::size_t column = 0;  // bytes from the start of the line, the error's byte included
    // The text alone when line is 0, else text + " at line {} column {}".
    std::string display() const;
};

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
};

class JsonReader {
public:
    static constexpr int end_of_text = -1;
    static constexpr int initial_depth = 128;

    explicit JsonReader(std::string_view text) noexcept : text_(text) {}
    // With a store for the strings that `keep` cannot hand out as views into the text.
    JsonReader(std::string_view text, std::deque<std::string>& kept) noexcept
        : text_(text), kept_(&kept) {}

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
    std::size_t index() const noexcept { return index_; }
    std::string_view text() const noexcept { return text_; }

    // At a double quote: the string with its escapes resolved. The view lives until the
    // next read of a string (it may point into the scratch buffer).
    bool read_string(std::string_view& out);
    // A string just read, as a view that lives as long as the text: itself when it lies
    // in the text (no escapes), else a copy in the store given at construction.
    std::string_view keep(std::string_view read);
    // At '-' or a digit.
    bool read_number(JsonNumber& out);
    // At 'n', 't' or 'f': the literal `word` ("null", "true", "false").
    bool read_literal(std::string_view word);
    // The next value of any kind, well-formed, at any depth, dropped.
    bool skip_value();
    // The value at the current position for a wrong-kind message: a scalar is read whole;
    // an array or object is only peeked at ("sequence", "map").
    bool describe_value(std::string& out);
    // "integer `5`", "floating point `1.5`".
    static void describe_number(const JsonNumber& number, std::string& out);

    // At '[' or '{': consumes it, costing one level of depth.
    bool open_container();
    // After the matching ']' or '}' has been consumed.
    void close_container() noexcept { ++depth_; }

    // Steps to the next array element: has is false at the closing bracket (not consumed).
    bool next_element(bool& first, bool& has);
    // Steps to the next object key: has is false at the closing brace (not consumed);
    // otherwise the reader stands at the key's opening quote.
    bool next_key(bool& first, bool& has);
    // After a key: the colon.
    bool read_colon();
    // After the last element that an array may hold: its closing bracket, consumed.
    bool end_array();

    // Failures. A syntax text lies at the byte at `at` (the last byte of the text when it
    // has ended); a decoder message lies at the last byte passed.
    bool fail_syntax(std::string_view text) { return fail_syntax_at(index_, text); }
    bool fail_syntax_at(std::size_t at, std::string_view text);
    bool fail_message(std::string text);
    bool fail_wrong_kind(std::string_view expected);

    JsonError take_error();

private:
    bool read_escaped_string(std::size_t start, std::string_view& out);
    bool read_escape(std::string* into);
    bool read_hex4(std::uint16_t& unit);
    bool skip_string();
    bool expect_digit();
    bool check_ident_byte(char expected);

    std::string_view text_;
    std::size_t index_ = 0;
    int depth_ = initial_depth;
    std::string scratch_;
    std::deque<std::string>* kept_ = nullptr;
    std::string error_text_;
    std::size_t error_end_ = 0;  // the error's byte is the one before this index
};

}  // namespace lorvane
