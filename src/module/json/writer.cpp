#include "module/json/writer.hpp"

#include <algorithm>
#include <array>

#include "module/json/string_scan.hpp"

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

namespace json_writer_detail {

// Room for what follows too: a list reserved at its exact length is followed by a few
// closing bytes, which would otherwise cost a copy of the whole text.
constexpr std::size_t grow_headroom = 256;

void Sink::grow(std::size_t n) {
    const auto used = static_cast<std::size_t>(cursor_ - begin_);
    out_.resize(std::max(used + n + grow_headroom, out_.size() + out_.size() / 4));
    place(used);
}

void write_string(Sink& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.reserve(text.size() + 2);
    out.put_unchecked('"');
    std::size_t run = 0;
    for (;;) {
        const std::size_t stop = find_json_special(text, run);
        // Room for the run, one escape of up to six bytes and the closing quote.
        out.reserve(stop - run + 7);
        out.put_unchecked(text.substr(run, stop - run));
        if (stop == text.size()) break;
        const auto byte = static_cast<unsigned char>(text[stop]);
        const char escape = escape_table[byte];
        out.put_unchecked('\\');
        out.put_unchecked(escape);
        if (escape == 'u') {
            out.put_unchecked('0');
            out.put_unchecked('0');
            out.put_unchecked(hex[byte >> 4]);
            out.put_unchecked(hex[byte & 0xF]);
        }
        run = stop + 1;
    }
    out.put_unchecked('"');
}

}  // namespace json_writer_detail

void append_json_string(std::string& out, std::string_view text) {
    json_writer_detail::Sink sink(out);
    json_writer_detail::write_string(sink, text);
}

}  // namespace lorvane
