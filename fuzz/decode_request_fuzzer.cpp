// Fuzzes the JSON request decoder over the three request records.
//
// For every input: the text lies in a heap buffer of exactly its size, so AddressSanitizer
// stops any read past its end; a failure must carry a position inside the text; a decoded
// record must survive being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "categorizer/records.hpp"
#include "emi/records.hpp"
#include "module/json/decoder.hpp"
#include "module/json/writer.hpp"

namespace {

using namespace lorvane;

#define require(condition)                                                        \
    do {                                                                           \
        if (!(condition)) {                                                        \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                          \
        }                                                                          \
    } while (0)

void check_position(std::string_view text, const JsonError& error) {
    require(!error.text.empty());
    require(error.line >= 1);
    // The line exists and the column lies within it (its line feed included).
    std::size_t line_start = 0;
    for (std::size_t line = 1; line < error.line; ++line) {
        const std::size_t feed = text.find('\n', line_start);
        require(feed != std::string_view::npos);
        line_start = feed + 1;
    }
    const std::size_t feed = text.find('\n', line_start);
    const std::size_t line_length =
        (feed == std::string_view::npos ? text.size() : feed + 1) - line_start;
    require(error.column <= line_length);
    require(error.column >= 1 || text.empty());
}

template <class T>
void check(std::string_view text) {
    std::deque<std::string> kept;
    auto decoded = decode_json<T>(text, kept);
    if (!decoded) {
        check_position(text, decoded.error());
        return;
    }
    std::string written;
    encode_json(decoded.value(), written);
    std::deque<std::string> kept_again;
    auto again = decode_json<T>(written, kept_again);
    require(again.ok());
    std::string rewritten;
    encode_json(again.value(), rewritten);
    require(written == rewritten);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<char[]> exact(new char[size]);
    if (size) std::memcpy(exact.get(), data, size);
    const std::string_view text(exact.get(), size);
    check<emi::EmiRequest>(text);
    check<categorizer::CategorizeRequest>(text);
    check<categorizer::DeriveRulesRequest>(text);
    return 0;
}
