#include "module/json_writer.hpp"

#include <array>

namespace lorvane {

namespace {

// Per byte: 0 when it is copied unchanged, else the letter of its escape ('u' for \u00XX).
constexpr std::array<char, 256> make_escape_table() {
    std::array<char, 256> table{};
    for (int b = 0; b < 0x20; ++b) table[b] = 'u';
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    table['"'] = '"';
    table['\\'] = '\\';
    return table;
}

constexpr std::array<char, 256> escape_table = make_escape_table();

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    const char* run = text.data();
    const char* end = text.data() + text.size();
    for (const char* p = run; p != end; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        const char escape = escape_table[byte];
        if (escape == 0) continue;
        out.append(run, p);
        out += '\\';
        out += escape;
        if (escape == 'u') {
            out += "00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
        run = p + 1;
    }
    out.append(run, end);
    out += '"';
}

}  // namespace lorvane
