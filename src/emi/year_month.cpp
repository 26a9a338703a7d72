#include <cstdint>
#include <string>
#include <string_view>

#include "emi/records.hpp"

namespace lorvane::emi {
namespace {

// An optional single "+" and one or more ASCII digits whose value is at most `limit`;
// leading zeros are allowed in any number.
bool parse_unsigned(std::string_view part, std::uint64_t limit, std::uint64_t& value) {
    if (!part.empty() && part.front() == '+') part.remove_prefix(1);
    if (part.empty()) return false;
    std::uint64_t total = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return false;
        total = total * 10 + static_cast<std::uint64_t>(c - '0');
        if (total > limit) return false;  // limit * 10 + 9 still fits in 64 bits
    }
    value = total;
    return true;
}

Failure<std::string> reject(std::string_view what, std::string_view text) {
    std::string message(what);
    message += text;
    return fail(std::move(message));
}

void append_padded(std::string& out, std::uint64_t value, std::size_t width) {
    char digits[24];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = count; i < width; ++i) out += '0';
    while (count != 0) out += digits[--count];
}

}  // namespace

Result<YearMonth, std::string> parse_year_month(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) return reject("expected \"YYYY-MM\", got ", text);

    std::uint64_t year = 0;
    if (!parse_unsigned(text.substr(0, dash), 2147483647, year)) {
        return reject("invalid year in ", text);
    }
    std::uint64_t month = 0;
    if (!parse_unsigned(text.substr(dash + 1), 4294967295, month)) {
        return reject("invalid month in ", text);
    }
    if (month < 1 || month > 12) return reject("month out of range in ", text);

    return YearMonth{static_cast<std::int32_t>(year), static_cast<std::uint32_t>(month)};
}

void format_year_month(const YearMonth& value, std::string& out) {
    // Only parsed values exist, so the year is never negative; keep any other one exact.
    std::int64_t year = value.year;
    if (year < 0) {
        out += '-';
        year = -year;
    }
    append_padded(out, static_cast<std::uint64_t>(year), 4);
    out += '-';
    append_padded(out, value.month, 2);
}

}  // namespace lorvane::emi
