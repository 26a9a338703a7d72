#include "module/json_derive.hpp"

#include <deque>
#include <stdexcept>

#include "module/json_decoder.hpp"
#include "module/json_writer.hpp"

namespace lorvane {

Result<std::string, JsonError> derive_json_text(std::string_view request_text) {
    std::deque<std::string> kept;
    auto request = decode_json_in_place<DeriveInPlace>(request_text, kept);
    if (!request) return fail(std::move(request).error());
    auto response = categorizer::derive_rules_in_place(request.value().data);
    // Derivation has no failure of its own; one would be a fault of this module.
    if (!response) throw std::logic_error(response.error().message());
    std::string out;
    out.reserve(128);
    encode_json(response.value(), out);
    return out;
}

}  // namespace lorvane
