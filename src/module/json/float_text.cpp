#include "module/json/float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace lorvane {

void append_float(std::string& out, double value) {
    if (value == 0.0) {
        out += std::signbit(value) ? "-0.0" : "0.0";
        return;
    }
    if (value < 0) {
        out += '-';
        value = -value;
    }
    // Shortest round-trip digits in scientific form: d[.ddd]e[+-]x
    char sci[32];
    auto [end, ec] = std::to_chars(sci, sci + sizeof sci - 1, value, std::chars_format::scientific);
    (void)ec;
    *end = '\0';  // atoi below reads the exponent up to here
    const char* e = sci;
    while (*e != 'e') ++e;
    char digits[20] = {};
    int n = 0;
    for (const char* p = sci; p < e; ++p)
        if (*p != '.') digits[n++] = *p;
    int k = std::atoi(e + 1);  // "e+16", "e-06"

    if (k >= -5 && k <= 15) {
        if (n <= k + 1) {
            out.append(digits, n);
            out.append(static_cast<std::size_t>(k + 1 - n), '0');
            out += ".0";
        } else if (k >= 0) {
            out.append(digits, k + 1);
            out += '.';
            out.append(digits + k + 1, n - k - 1);
        } else {
            out += "0.";
            out.append(static_cast<std::size_t>(-k - 1), '0');
            out.append(digits, n);
        }
        return;
    }
    out += digits[0];
    if (n > 1) {
        out += '.';
        out.append(digits + 1, n - 1);
    }
    out += 'e';
    out += k > 0 ? '+' : '-';
    out += std::to_string(k < 0 ? -k : k);
}

}  // namespace lorvane
