// First rule wins in every way of matching a request (the direct search, the automaton in
// each layout), against the table and generated requests: the patterns and narrations as
// callers write them, looked for in rule order after lowercasing. The direct search
// against std::string_view::find, and its fallback when its budget runs out.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/direct/substring.hpp"
#include "categorizer/first_rules.hpp"
#include "categorizer/text/lowercase.hpp"
#include "check.hpp"
#include "rule_table.hpp"

namespace lorvane::categorizer {
namespace {

struct NamedWay {
    std::string name;
    WayChoice choice;
};

WayChoice way(Way w, std::optional<automaton::Forced> layout = std::nullopt) {
    WayChoice choice;
    choice.forced = w;
    choice.layout.forced = layout;
    return choice;
}

const std::vector<NamedWay>& ways() {
    using automaton::Layout;
    static const std::vector<NamedWay> all = {
        {"automatic", {}},
        {"direct", way(Way::direct)},
        {"automaton", way(Way::automaton)},
        {"automaton, dense", way(Way::automaton, automaton::Forced{Layout::dense, true})},
        {"automaton, compact", way(Way::automaton, automaton::Forced{Layout::compact, false})},
        {"automaton, linked", way(Way::automaton, automaton::Forced{Layout::linked, false, 1})},
    };
    return all;
}

std::vector<std::string_view> views(const std::vector<std::string>& texts) { return {texts.begin(), texts.end()}; }

// The first-rule-wins model: the first rule whose lowercased pattern occurs in the
// lowercased narration.
std::uint32_t model(const std::vector<std::string>& patterns, std::string_view narration) {
    const std::string text = lowercase_text(narration);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (text.find(lowercase_text(patterns[i])) != std::string::npos) return static_cast<std::uint32_t>(i);
    }
    return kNone;
}

std::string shown(std::uint32_t rule) { return rule == kNone ? "none" : std::to_string(rule); }

TEST_CASE(first_rule_wins_in_every_way) {
    for (const NamedWay& w : ways()) {
        for (const Row& row : kFirstRuleWins) {
            const std::vector<std::string_view> patterns = views(row.patterns);
            const std::vector<std::uint32_t> alone = first_rules(patterns, {row.narration}, w.choice);
            CHECK(alone.size() == 1 && alone[0] == row.decides,
                  w.name + ": \"" + row.narration + "\" got " + shown(alone[0]) + ", want " + shown(row.decides));
            // Among other narrations, past a block of 64 of them, with bytes of no pattern
            // around it.
            std::vector<std::string> batch;
            for (std::size_t k = 0; k < 70; ++k) {
                batch.push_back(std::string(k % 5, '\x01') + row.narration + std::string(k % 19, '\x02'));
            }
            const std::vector<std::uint32_t> got = first_rules(patterns, views(batch), w.choice);
            for (std::size_t k = 0; k < batch.size(); ++k) {
                CHECK(got[k] == row.decides, w.name + ", batch " + std::to_string(k) + ": \"" + row.narration +
                                                 "\" got " + shown(got[k]));
            }
        }
        CHECK(first_rules(views({"a", ""}), {}, w.choice).empty(), w.name + ": no narration, no result");
    }
}

std::string random_text(std::mt19937& rng, std::string_view alphabet, std::size_t shortest, std::size_t longest) {
    std::string text;
    const std::size_t n = std::uniform_int_distribution<std::size_t>(shortest, longest)(rng);
    // The alphabet's characters, some of more than one byte, whole.
    std::vector<std::string_view> chars;
    for (std::size_t i = 0; i < alphabet.size();) {
        std::size_t size = 1;
        while (i + size < alphabet.size() && (static_cast<unsigned char>(alphabet[i + size]) & 0xC0) == 0x80) ++size;
        chars.push_back(alphabet.substr(i, size));
        i += size;
    }
    for (std::size_t k = 0; k < n; ++k) text += chars[rng() % chars.size()];
    return text;
}

// Requests of up to 200 narrations, long and short, and patterns that share their first
// and last bytes, cross sixteen-byte blocks, carry capitals or letters beyond ASCII.
TEST_CASE(generated_requests_in_every_way) {
    std::mt19937 rng(99);
    const std::vector<std::string> alphabets = {"ab", "abC", "aAbB -", "éÉaΣσς", "abcdefghijklmnopqrstuvwxyz0123456789 /"};
    for (int round = 0; round < 120; ++round) {
        const std::string& alphabet = alphabets[round % alphabets.size()];
        std::vector<std::string> patterns, narrations;
        const int rules = std::uniform_int_distribution<int>(1, 60)(rng);
        for (int i = 0; i < rules; ++i) patterns.push_back(random_text(rng, alphabet, 1, round % 3 == 0 ? 40 : 6));
        const int texts = std::uniform_int_distribution<int>(1, round % 4 == 0 ? 200 : 12)(rng);
        for (int i = 0; i < texts; ++i) {
            std::string text = random_text(rng, alphabet, 0, round % 5 == 0 ? 300 : 60);
            // Some narrations hold a pattern somewhere.
            if (i % 3 == 0) text.insert(rng() % (text.size() + 1), patterns[rng() % patterns.size()]);
            narrations.push_back(std::move(text));
        }
        std::vector<std::uint32_t> want;
        for (const std::string& text : narrations) want.push_back(model(patterns, text));
        for (const NamedWay& w : ways()) {
            const std::vector<std::uint32_t> got = first_rules(views(patterns), views(narrations), w.choice);
            for (std::size_t t = 0; t < narrations.size(); ++t) {
                CHECK(got[t] == want[t], w.name + ", round " + std::to_string(round) + ", narration " +
                                             std::to_string(t) + ": got " + shown(got[t]) + ", want " + shown(want[t]));
            }
        }
    }
}

TEST_CASE(direct_search_against_find) {
    using direct::Search;
    std::mt19937 rng(5);
    for (int round = 0; round < 4000; ++round) {
        const std::string_view alphabet = round % 2 ? "ab" : "abcd";
        const std::string text = random_text(rng, alphabet, 0, round % 7 == 0 ? 200 : 40);
        std::string pattern = random_text(rng, alphabet, 1, round % 3 == 0 ? 24 : 5);
        if (round % 4 == 0 && !text.empty()) {
            const std::size_t at = rng() % text.size();
            pattern = text.substr(at, 1 + rng() % (text.size() - at));
        }
        const bool want = text.find(pattern) != std::string::npos;
        const Search got = direct::find(text, pattern);
        CHECK(got == Search::over_budget || (got == Search::found) == want,
              "\"" + pattern + "\" in \"" + text + "\"");
    }
    // Every place a candidate: the search gives up within its budget rather than go
    // quadratic, and the request is answered all the same.
    const std::string text(20000, 'a');
    const std::string pattern = std::string(2000, 'a') + "b" + std::string(2000, 'a');
    CHECK(direct::find(text, pattern) == Search::over_budget, "a candidate at every place: over budget");
    CHECK(direct::find(text, std::string(2000, 'a')) == Search::found, "found at the first place");
    const std::vector<std::string> patterns = {pattern, "aaab", std::string(3000, 'a')};
    const std::vector<std::uint32_t> got = first_rules(views(patterns), {text, "xaaab"}, way(Way::direct));
    CHECK(got.size() == 2 && got[0] == 2 && got[1] == 1, "the automaton answers for the direct search");
}

// A narration costs the direct search no build, and a rule the automaton a part of its
// build: the direct search for a few narrations, the automaton for many.
TEST_CASE(cheapest_way_by_size) {
    CHECK(cheapest_way({1, 60, 10, 100}) == Way::direct, "1 narration, 10 rules");
    CHECK(cheapest_way({1, 60, 10000, 100000}) == Way::direct, "1 narration, 10,000 rules");
    CHECK(cheapest_way({10, 600, 1000, 10000}) == Way::direct, "10 narrations, 1,000 rules");
    CHECK(cheapest_way({100000, 6000000, 1000, 10000}) == Way::automaton, "100,000 narrations, 1,000 rules");
    CHECK(cheapest_way({10000, 600000, 100, 1000}) == Way::automaton, "10,000 narrations, 100 rules");
}

}  // namespace
}  // namespace lorvane::categorizer
