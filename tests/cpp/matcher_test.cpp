// First rule wins, against every layout of the automaton and both widths of its state
// numbers: one table of rules and narrations, generated rule sets against a direct
// search, and the automatic choice of a layout by size.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/automaton/automaton.hpp"
#include "categorizer/matcher.hpp"
#include "categorizer/text/lowercase.hpp"
#include "check.hpp"
#include "rule_table.hpp"
#include "common/bytes.hpp"

namespace lorvane::categorizer {
namespace {

using automaton::Forced;
using automaton::Layout;
using automaton::LayoutChoice;
using automaton::SubstringAutomaton;


struct Shape {
    std::string name;
    LayoutChoice choice;
};

LayoutChoice within(std::size_t budget) {
    LayoutChoice choice;
    choice.budget = budget;
    return choice;
}

LayoutChoice forcing(Layout layout, bool narrow, std::uint32_t linked_rows = 1) {
    LayoutChoice choice;
    choice.forced = Forced{layout, narrow, linked_rows};
    return choice;
}

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = {
        {"automatic", {}},
        {"dense, 16-bit", forcing(Layout::dense, true)},
        {"dense, 32-bit", forcing(Layout::dense, false)},
        {"compact, 16-bit", forcing(Layout::compact, true)},
        {"compact, 32-bit", forcing(Layout::compact, false)},
        {"linked, a row for the root", forcing(Layout::linked, false, 1)},
        {"linked, a row for every state", forcing(Layout::linked, false, UINT32_MAX)},
        // Past a small budget the automatic choice links a trie it has already linked.
        {"automatic within 256 bytes", within(256)},
    };
    return all;
}


std::string described(const std::string& shape, const Row& row, std::string_view text, std::uint32_t got) {
    std::string out = shape + ": patterns [";
    for (const std::string& p : row.patterns) out += "\"" + p + "\" ";
    out += "] text \"" + std::string(text) + "\": got " + (got == kNone ? "none" : std::to_string(got)) +
           ", want " + (row.decides == kNone ? "none" : std::to_string(row.decides));
    return out;
}

// The texts a matcher reads for a narration: its lowercase, and the narration as is
// where the matcher folds ASCII capitals itself.
std::vector<std::string> texts_for(const RuleMatcher& matcher, const std::string& narration) {
    std::vector<std::string> texts{lowercase_text(narration)};
    if (matcher.folds_ascii_capitals() && bytes::is_ascii(narration)) texts.push_back(narration);
    return texts;
}

TEST_CASE(first_rule_wins_in_every_layout) {
    for (const Shape& shape : shapes()) {
        for (const Row& row : kFirstRuleWins) {
            std::vector<std::string> lowered;
            for (const std::string& p : row.patterns) lowered.push_back(lowercase_text(p));
            const std::vector<std::string_view> patterns(lowered.begin(), lowered.end());
            const RuleMatcher matcher(patterns, shape.choice);
            for (const std::string& text : texts_for(matcher, row.narration)) {
                const std::uint32_t got = matcher.first_match(text);
                CHECK(got == row.decides, described(shape.name, row, text, got));
                // Side by side: the text among others of other lengths, and empty ones.
                // Bytes of no pattern before it change nothing.
                std::vector<std::string> batch;
                for (std::size_t k = 0; k < 13; ++k) batch.push_back(std::string(k * 7 % 11, '\x01') + text);
                batch.emplace_back();
                const std::vector<std::string_view> views(batch.begin(), batch.end());
                std::vector<std::uint32_t> out(views.size(), 12345);
                matcher.first_matches(views, out);
                for (std::size_t k = 0; k + 1 < batch.size(); ++k) {
                    CHECK(out[k] == row.decides, described(shape.name + ", side by side", row, text, out[k]));
                }
                CHECK(out.back() == matcher.first_match(""), shape.name + ": the empty text side by side");
            }
        }
    }
}

// The smallest i such that patterns[i] occurs in text, looked for directly.
std::uint32_t first_occurring(const std::vector<std::string>& patterns, std::string_view text) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (text.find(patterns[i]) != std::string_view::npos) return static_cast<std::uint32_t>(i);
    }
    return automaton::none;
}

std::string random_text(std::mt19937& rng, std::string_view alphabet, std::size_t shortest, std::size_t longest) {
    std::string text(std::uniform_int_distribution<std::size_t>(shortest, longest)(rng), '\0');
    for (char& c : text) c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
    return text;
}

void check_shape(const SubstringAutomaton& automaton, const Shape& shape) {
    if (!shape.choice.forced) return;
    CHECK(automaton.layout() == shape.choice.forced->layout, shape.name + ": the layout asked for");
    if (shape.choice.forced->layout != Layout::linked) {
        CHECK(automaton.narrow() == shape.choice.forced->narrow, shape.name + ": the width asked for");
    }
}

// Patterns where a branching state's longest suffix that is a state lies on a chain:
// c+w+x and c+w+y branch after c+w, whose suffix w goes on only to w+z. The texts c+w+z
// then need the chain's one transition from the branching state.
void add_overlaps(std::mt19937& rng, std::string_view alphabet, std::vector<std::string>& patterns,
                  std::vector<std::string>& texts) {
    const std::string word = random_text(rng, alphabet, 6, 9);
    std::string letters(alphabet);
    std::shuffle(letters.begin(), letters.end(), rng);
    const char c = letters[0], x = letters[1], y = letters[2], z = letters[3];
    patterns.insert(patterns.end(), {c + word + x, c + word + y, word + z});
    texts.push_back(c + word + z);
}

// Rule sets over a few letters, where patterns share prefixes and suffixes, deep ones
// among them, and over arbitrary bytes, every byte value included: each automaton
// against a direct search.
TEST_CASE(generated_rule_sets_in_every_layout) {
    std::mt19937 rng(2024);
    std::string every_byte(256, '\0');
    for (int b = 0; b < 256; ++b) every_byte[b] = static_cast<char>(b);
    const std::vector<std::string> alphabets = {"ab", "abc", "abcd ", "aA1-é", "abcdefgh", every_byte};
    for (int round = 0; round < 240; ++round) {
        const std::string& alphabet = alphabets[round % alphabets.size()];
        const std::size_t longest = round % 4 == 0 ? 14 : 6;
        std::vector<std::string> patterns, texts;
        const int count = std::uniform_int_distribution<int>(1, 40)(rng);
        for (int i = 0; i < count; ++i) patterns.push_back(random_text(rng, alphabet, 1, longest));
        if (alphabet.size() >= 4) {
            for (int i = 0; i < 4; ++i) add_overlaps(rng, alphabet, patterns, texts);
        }
        if (alphabet == every_byte) patterns.push_back(every_byte);  // every byte in some pattern
        while (texts.size() < 24) texts.push_back(random_text(rng, alphabet, 0, 40));
        std::shuffle(patterns.begin(), patterns.end(), rng);
        const std::vector<std::string_view> pattern_views(patterns.begin(), patterns.end());
        const std::vector<std::string_view> text_views(texts.begin(), texts.end());
        for (const Shape& shape : shapes()) {
            const SubstringAutomaton automaton(pattern_views, shape.choice);
            check_shape(automaton, shape);
            std::vector<std::uint32_t> out(texts.size());
            automaton.first_matches(text_views, out);
            for (std::size_t i = 0; i < texts.size(); ++i) {
                // Capitals fold only where no pattern has one; then a text's capitals
                // read as small letters.
                std::string looked_for = texts[i];
                if (automaton.folds_ascii_capitals()) {
                    for (char& c : looked_for) c = bytes::lower_ascii(c);
                }
                const std::uint32_t want = first_occurring(patterns, looked_for);
                const std::string what = shape.name + ", round " + std::to_string(round) + ", text " + std::to_string(i);
                CHECK(automaton.first_match(texts[i]) == want, what);
                CHECK(out[i] == want, what + ", side by side");
            }
        }
    }
}

// The automatic choice: rows for every state while they fit the budget, rows for the
// core states while those fit, failure links past that; 16-bit state numbers while there
// are at most 2^16 states.
TEST_CASE(automatic_layout_by_size) {
    std::mt19937 rng(7);
    std::vector<std::string> patterns;
    for (int i = 0; i < 300; ++i) patterns.push_back(random_text(rng, "abcdefghijklmnopqrst", 8, 8));
    const std::vector<std::string_view> views(patterns.begin(), patterns.end());

    const SubstringAutomaton roomy(views);
    CHECK(roomy.layout() == Layout::dense && roomy.narrow(), "a few hundred rules: dense, 16-bit");
    // The dense rows of these states take states * classes * 2 bytes.
    const std::size_t dense_bytes = std::size_t{roomy.states()} * 21 * 2;
    const SubstringAutomaton tighter(views, within(dense_bytes - 1));
    CHECK(tighter.layout() == Layout::compact, "rows for the core states when dense rows do not fit");
    const SubstringAutomaton tightest(views, within(64));
    CHECK(tightest.layout() == Layout::linked, "failure links when no table fits");

    std::vector<std::string> many;
    for (int i = 0; i < 12000; ++i) many.push_back(random_text(rng, "abcdefghijklmnopqrstuvwxyz", 8, 8));
    const std::vector<std::string_view> many_views(many.begin(), many.end());
    const SubstringAutomaton wide(many_views);
    CHECK(wide.states() > (1u << 16) && !wide.narrow(), "past 2^16 states: 32-bit state numbers");
    const SubstringAutomaton forced(many_views, forcing(Layout::compact, true));
    CHECK(!forced.narrow(), "16 bits asked for past 2^16 states: 32-bit state numbers all the same");
    for (const std::string& text : {many[11999] + many[5], many[7] + many[3], random_text(rng, "abcdefghij", 200, 200)}) {
        const std::uint32_t want = first_occurring(many, text);
        CHECK(wide.first_match(text) == want && forced.first_match(text) == want, "32-bit state numbers: " + text);
    }
}

}  // namespace
}  // namespace lorvane::categorizer
