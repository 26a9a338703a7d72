#include "module/json_categorize.hpp"

#include <cstring>
#include <deque>
#include <optional>
#include <utility>

#include "categorizer/first_rules.hpp"
#include "module/json_decoder.hpp"
#include "module/json_writer.hpp"

namespace lorvane {

namespace {

constexpr std::string_view absent = "null";

// The encoded list entry of every rule that decides some narration, made on first use.
class EncodedMatches {
public:
    explicit EncodedMatches(const std::vector<categorizer::CategoryRule>& rules)
        : rules_(rules), texts_(rules.size()) {}

    std::string_view of(std::size_t rule) {
        std::optional<std::string>& text = texts_[rule];
        if (!text) {
            const categorizer::CategoryRule& r = rules_[rule];
            const categorizer::CategorizeResponse one{{categorizer::CategoryMatch{r.category, r.merchant}}};
            std::string whole;
            encode_json(one, whole);
            // {"data":[ ENTRY ]}
            constexpr std::size_t head = sizeof("{\"data\":[") - 1, tail = sizeof("]}") - 1;
            text = whole.substr(head, whole.size() - head - tail);
        }
        return *text;
    }

private:
    const std::vector<categorizer::CategoryRule>& rules_;
    std::vector<std::optional<std::string>> texts_;
};

}  // namespace

Result<Categorized, JsonError> categorize_json_request(std::string_view request_text) {
    std::deque<std::string> kept;
    auto request = decode_json_in_place<CategorizeInPlace>(request_text, kept);
    if (!request) return fail(std::move(request).error());
    CategorizeInPlace& in = request.value();

    std::vector<std::string_view> narrations;
    narrations.reserve(in.data.size());
    for (const auto& item : in.data) narrations.push_back(item.narration);
    Categorized done;
    done.decided = categorizer::first_rules(std::move(narrations), in.rules);
    done.rules = std::move(in.rules);
    return done;
}

std::string categorized_json_text(const Categorized& done) {
    const std::vector<std::size_t>& decided = done.decided;
    // The exact length first, then one pass of copies.
    EncodedMatches matches(done.rules);
    constexpr std::string_view head = "{\"data\":[", tail = "]}";
    std::size_t length = head.size() + tail.size() + (decided.empty() ? 0 : decided.size() - 1);
    for (const std::size_t rule : decided) {
        length += rule == categorizer::no_rule ? absent.size() : matches.of(rule).size();
    }
    std::string out(length, '\0');
    char* p = out.data();
    const auto put = [&p](std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    put(head);
    for (std::size_t i = 0; i < decided.size(); ++i) {
        if (i) *p++ = ',';
        put(decided[i] == categorizer::no_rule ? absent : matches.of(decided[i]));
    }
    put(tail);
    return out;
}

}  // namespace lorvane
