// Compact JSON text from a described result record: one pass, no whitespace between
// tokens, members in declaration order, floats in the float text form.
//
// The text is written through a cursor into the string's own storage, which grows in
// large steps and is cut to the written length at the end: each token costs a bounds
// check and a copy, not a call into the string.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/bytes.hpp"
#include "common/describe.hpp"
#include "module/json/float_text.hpp"

namespace lorvane {

// Appends `text` as a JSON string: quotes, backslashes and bytes below 0x20 escaped,
// everything else (0x7F and all non-ASCII included) copied unchanged.
void append_json_string(std::string& out, std::string_view text);

namespace json_writer_detail {

// The string being written, with its size kept at its capacity while writing and the
// write position held as a pointer into its storage.
class Sink {
public:
    explicit Sink(std::string& out) : out_(out) {
        const std::size_t used = out.size();
        out_.resize(out_.capacity());
        place(used);
        reserve(64);
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink() { out_.resize(static_cast<std::size_t>(cursor_ - begin_)); }

    // Room for n more bytes at cursor().
    [[gnu::always_inline]] void reserve(std::size_t n) {
        if (static_cast<std::size_t>(limit_ - cursor_) < n) grow(n);
    }
    char* cursor() noexcept { return cursor_; }
    void advance_to(char* end) noexcept { cursor_ = end; }

    void put(char c) {
        reserve(1);
        *cursor_++ = c;
    }
    void put(std::string_view text) {
        reserve(text.size());
        put_unchecked(text);
    }
    // Past reserve(): no check.
    [[gnu::always_inline]] void put_unchecked(char c) noexcept { *cursor_++ = c; }
    [[gnu::always_inline]] void put_unchecked(std::string_view text) noexcept {
        if (text.empty()) return;  // an empty view may have no storage at all
        std::memcpy(cursor_, text.data(), text.size());
        cursor_ += text.size();
    }

private:
    void grow(std::size_t n);
    void place(std::size_t used) noexcept {
        begin_ = out_.data();
        cursor_ = begin_ + used;
        limit_ = begin_ + out_.size();
    }

    std::string& out_;
    char* begin_ = nullptr;
    char* cursor_ = nullptr;
    char* limit_ = nullptr;
};

void write_string(Sink& out, std::string_view text);

// Keys are written without escaping: every key of a described record is plain text.
template <class T>
constexpr bool keys_are_plain() {
    bool plain = true;
    for_each_field<T>([&](const auto& f) {
        for (const char c : f.key) {
            const auto byte = static_cast<unsigned char>(c);
            plain = plain && byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
        }
    });
    return plain;
}

template <class T>
void write_value(Sink& out, const T& value);

// A guess at the length of a value's text, for reserving a list's room at once: each
// field's key and punctuation, sixteen bytes for a string and eight for anything else.
template <class T>
constexpr std::size_t typical_length() {
    if constexpr (is_optional<T>) {
        return typical_length<typename T::value_type>();
    } else if constexpr (is_record<T>) {
        std::size_t n = 2;
        for_each_field<T>([&](const auto& f) {
            using M = typename std::decay_t<decltype(f)>::member_type;
            n += f.key.size() + 4 + typical_length<M>();
        });
        return n;
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        return 16;
    } else {
        return 8;
    }
}

// Eight decimal digits of v < 10^8, leading zeros included, as a word of bytes in memory
// order (the first digit in the lowest byte; see common/bytes.hpp), whatever the machine.
// The four pairs are computed independently of each other.
[[gnu::always_inline]] inline std::uint64_t eight_digits(std::uint32_t v) noexcept {
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const std::uint32_t high = v / 10000, low = v % 10000;
    const std::uint32_t parts[4] = {high / 100, high % 100, low / 100, low % 100};
    std::uint64_t word = 0;
    for (int i = 0; i < 4; ++i) {
        const char* pair = pairs + 2 * parts[i];
        const std::uint64_t digits = static_cast<unsigned char>(pair[0]) | std::uint64_t{static_cast<unsigned char>(pair[1])} << 8;
        word |= digits << (16 * i);
    }
    return word;
}

// Writes v < 10^8 without leading zeros; may write up to 8 bytes; returns the end.
[[gnu::always_inline]] inline char* put_short(char* p, std::uint32_t v) noexcept {
    std::uint64_t word = eight_digits(v);
    // Each leading '0' is a zero byte after the xor, at the low end of the word.
    const int zeros = v == 0 ? 7 : __builtin_ctzll(word ^ 0x3030303030303030ULL) / 8;
    word >>= 8 * zeros;
    bytes::store8(p, word);
    return p + 8 - zeros;
}

[[gnu::always_inline]] inline char* put_eight(char* p, std::uint32_t v) noexcept {
    bytes::store8(p, eight_digits(v));
    return p + 8;
}

// Writes the decimal digits of v; may write up to 21 bytes; returns the end.
inline char* put_decimal(char* p, std::uint64_t v) noexcept {
    constexpr std::uint64_t e8 = 100000000;
    if (v < e8) return put_short(p, static_cast<std::uint32_t>(v));
    if (v < e8 * e8) {
        p = put_short(p, static_cast<std::uint32_t>(v / e8));
        return put_eight(p, static_cast<std::uint32_t>(v % e8));
    }
    p = put_short(p, static_cast<std::uint32_t>(v / (e8 * e8)));
    const std::uint64_t rest = v % (e8 * e8);
    p = put_eight(p, static_cast<std::uint32_t>(rest / e8));
    return put_eight(p, static_cast<std::uint32_t>(rest % e8));
}

// Past reserve(): writes up to 21 bytes beyond the cursor, keeps up to 20.
template <class T>
[[gnu::always_inline]] inline void write_integer_unchecked(Sink& out, T value) noexcept {
    char* p = out.cursor();
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if constexpr (std::is_signed_v<T>) {
        if (value < 0) {
            *p++ = '-';
            magnitude = 0 - magnitude;  // exact for the most negative value too
        }
    }
    out.advance_to(put_decimal(p, magnitude));
}

template <class T>
void write_integer(Sink& out, T value) {
    out.reserve(24);
    write_integer_unchecked(out, value);
}

// The longest text of a value of type T, or 0 when it has no bound (texts, lists, floats).
template <class T>
constexpr std::size_t longest_text() {
    if constexpr (is_optional<T>) {
        constexpr std::size_t inner = longest_text<typename T::value_type>();
        return inner == 0 ? 0 : std::max<std::size_t>(inner, 4);  // or "null"
    } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        return 20;
    } else if constexpr (is_record<T>) {
        std::size_t n = 2;
        bool bounded = true;
        for_each_field<T>([&](const auto& f) {
            using M = typename std::decay_t<decltype(f)>::member_type;
            bounded = bounded && longest_text<M>() != 0;
            n += f.key.size() + 4 + longest_text<M>();
        });
        return bounded ? n : 0;
    } else {
        return 0;
    }
}

// The text `,"key":` of field I of T, made once at compile time.
template <class T, std::size_t I>
struct KeyText {
    static constexpr std::string_view key = std::get<I>(Describe<T>::fields).key;
    static constexpr std::array<char, key.size() + 4> text = [] {
        std::array<char, key.size() + 4> t{};
        t[0] = ',';
        t[1] = '"';
        for (std::size_t i = 0; i < key.size(); ++i) t[i + 2] = key[i];
        t[key.size() + 2] = '"';
        t[key.size() + 3] = ':';
        return t;
    }();
};

// A record whose text has a bound is written after one check of the room for it.
template <class T, std::size_t... I>
void write_fields(Sink& out, const T& record, std::index_sequence<I...>) {
    constexpr bool bounded = longest_text<T>() != 0;
    if constexpr (bounded) out.reserve(longest_text<T>() + 8);
    bool first = true;
    const auto write_field = [&](const auto& f, const auto& text) {
        const auto& member = record.*(f.member);
        using M = std::decay_t<decltype(member)>;
        if constexpr (is_optional<M>) {
            if (f.presence == Presence::optional && !member) return;
        }
        if constexpr (!bounded) out.reserve(text.size());
        if (first) {
            out.put_unchecked(std::string_view(text.data() + 1, text.size() - 1));
        } else {
            out.put_unchecked(std::string_view(text.data(), text.size()));
        }
        first = false;
        if constexpr (!bounded) {
            write_value(out, member);
        } else if constexpr (is_optional<M>) {
            if (member) write_integer_unchecked(out, *member);
            else out.put_unchecked(std::string_view("null"));
        } else {
            write_integer_unchecked(out, member);
        }
    };
    (write_field(std::get<I>(Describe<T>::fields), KeyText<T, I>::text), ...);
}

template <class T>
void write_record(Sink& out, const T& record) {
    static_assert(keys_are_plain<T>(), "record keys are written without escaping");
    out.put('{');
    write_fields(out, record, std::make_index_sequence<field_count<T>>{});
    out.put('}');
}

// Each chosen record's text is made once; the list is then its copies and nulls, written
// after one reservation of its exact length.
template <class T>
void write_picks(Sink& out, const Picks<T>& picks) {
    constexpr std::string_view absent = "null";
    std::vector<std::string> texts(picks.choices.size());
    std::size_t length = 2 + (picks.picked.empty() ? 0 : picks.picked.size() - 1);
    for (const std::uint32_t choice : picks.picked) {
        if (choice == Picks<T>::none) {
            length += absent.size();
            continue;
        }
        std::string& text = texts[choice];
        if (text.empty()) {
            Sink record(text);
            write_record(record, picks.choices[choice]);
        }
        length += text.size();
    }
    out.reserve(length);
    out.put_unchecked('[');
    bool first = true;
    for (const std::uint32_t choice : picks.picked) {
        if (!first) out.put_unchecked(',');
        first = false;
        out.put_unchecked(choice == Picks<T>::none ? absent : std::string_view(texts[choice]));
    }
    out.put_unchecked(']');
}

template <class T>
void write_value(Sink& out, const T& value) {
    if constexpr (is_optional<T>) {
        if (value) write_value(out, *value);
        else out.put("null");
    } else if constexpr (is_vector<T>) {
        out.reserve(value.size() * (typical_length<typename T::value_type>() + 1) + 2);
        out.put('[');
        bool first = true;
        for (const auto& element : value) {
            if (!first) out.put(',');
            first = false;
            write_value(out, element);
        }
        out.put(']');
    } else if constexpr (is_picks<T>) {
        write_picks(out, value);
    } else if constexpr (is_record<T>) {
        write_record(out, value);
    } else if constexpr (is_named_enum<T>) {
        write_string(out, enum_name(value));
    } else if constexpr (is_text_form<T>) {
        std::string text;
        TextForm<T>::format(value, text);
        write_string(out, text);
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        write_string(out, value);
    } else if constexpr (std::is_same_v<T, double>) {
        if (std::isfinite(value)) {
            std::string text;
            append_float(text, value);
            out.put(text);
        } else {
            out.put("null");
        }
    } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        write_integer(out, value);
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this member type");
    }
}

}  // namespace json_writer_detail

template <class T>
void encode_json(const T& record, std::string& out) {
    json_writer_detail::Sink sink(out);
    json_writer_detail::write_record(sink, record);
}

}  // namespace lorvane
