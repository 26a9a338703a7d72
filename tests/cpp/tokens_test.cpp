// The fast tokenisers against the definition of a token (for_each_token over the
// lowercased text), on generated texts: ASCII, letters and digits beyond ASCII,
// separators beyond ASCII, the characters whose lowercase changes the text's length,
// capital sigma, and characters across every block boundary the splitters use.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/text/lowercase.hpp"
#include "categorizer/text/token_split.hpp"
#include "categorizer/text/tokens.hpp"
#include "categorizer/text/unicode.hpp"
#include "categorizer/token_batch.hpp"
#include "categorizer/token_table.hpp"
#include "check.hpp"
#include "common/utf8.hpp"

namespace lorvane::categorizer {
namespace {

using Tokens = std::vector<std::string>;

// clang-format off
const std::vector<std::string> kWordPieces = {
    "a", "b", "Z", "Q", "x", "0", "9", "ab", "ABC", "k",
    "é", "É", "ж", "Ж", "中", "𝐀", "ß", "ǅ", "²", "½", "Ⅻ",
};
const std::vector<std::string> kSeparators = {
    " ", "-", "_", "/", ".", "\t", "'", "€", "—", "\u00a0", "\u0301",
};
// Lowercase of another length, or of several characters, or depending on context.
const std::vector<std::string> kChangers = {"İ", "Ω", "K", "Ⱥ", "Ȿ", "Σ"};
// clang-format on

Tokens model(std::string_view text) {
    const std::string lowered = lowercase_text(text);
    Tokens tokens;
    for_each_token(lowered, [&](std::string_view token) { tokens.emplace_back(token); });
    return tokens;
}

// Whether lower_and_split may give up on the text: a character whose lowercase has
// another size or more characters, or capital sigma.
bool has_changer(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const utf8::Decoded d = utf8::decode_utf8(text.data() + i);
        const std::string_view c = text.substr(i, d.size);
        const std::string lower = lowercase_text(c);
        if (d.cp == unicode::kCapitalSigma || lower.size() != c.size() ||
            utf8::decode_utf8(lower.data()).size != lower.size()) {
            return true;
        }
        i += d.size;
    }
    return false;
}

std::string random_text(std::mt19937& rng, std::size_t bytes, bool changers) {
    std::string text;
    std::uniform_int_distribution<int> kind(0, changers ? 9 : 8);
    while (text.size() < bytes) {
        const int k = kind(rng);
        const std::vector<std::string>& from = k < 6 ? kWordPieces : k < 9 ? kSeparators : kChangers;
        text += from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
    }
    return text;
}

// Texts whose characters straddle the 8-, 16- and 64-byte boundaries of the splitters'
// words, chunks and blocks: a run of letters, then a character of each kind.
std::vector<std::string> boundary_texts() {
    std::vector<std::string> texts;
    for (const std::size_t boundary : {8, 16, 32, 64, 128}) {
        for (std::size_t before = boundary - 3; before <= boundary + 1; ++before) {
            for (const auto* pieces : {&kWordPieces, &kSeparators, &kChangers}) {
                for (const std::string& piece : *pieces) {
                    texts.push_back(std::string(before, 'a') + piece + "bcd" + std::string(boundary / 2, 'E'));
                    texts.push_back(std::string(before, 'a') + piece);
                }
            }
        }
    }
    for (std::size_t n = 0; n <= 140; ++n) texts.push_back(std::string(n, 'W'));
    texts.push_back("ΟΔΟΣ ΟΔΟΣ. Σ ΑΣ ΑΣ' ΑΣA");
    return texts;
}

std::vector<std::string> generated_texts() {
    std::vector<std::string> texts = boundary_texts();
    std::mt19937 rng(31);
    for (int i = 0; i < 3000; ++i) {
        texts.push_back(random_text(rng, std::uniform_int_distribution<std::size_t>(0, 150)(rng), i % 3 == 0));
    }
    return texts;
}

Tokens from_offsets(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& pieces) {
    Tokens tokens;
    for (const auto& [at, size] : pieces) tokens.emplace_back(text.substr(at, size));
    return tokens;
}

TEST_CASE(split_lowered_finds_the_defined_tokens) {
    for (const std::string& text : generated_texts()) {
        const std::string lowered = lowercase_text(text);
        std::vector<std::pair<std::size_t, std::size_t>> pieces;
        split_lowered(lowered, [&](std::size_t at, std::size_t size) { pieces.emplace_back(at, size); });
        CHECK(from_offsets(lowered, pieces) == model(text), "split_lowered: \"" + text + "\"");
    }
}

TEST_CASE(lower_and_split_lowercases_and_finds_the_defined_tokens) {
    for (const std::string& text : generated_texts()) {
        std::string out(text.size() + 16, '\0');
        std::vector<std::pair<std::size_t, std::size_t>> pieces;
        const bool done = lower_and_split(text, out.data(), [&](std::size_t at, std::size_t size) {
            pieces.emplace_back(at, size);
        });
        CHECK(done != has_changer(text), "lower_and_split gives up exactly at changers: \"" + text + "\"");
        if (!done) continue;
        const std::string_view lowered(out.data(), text.size());
        CHECK(lowered == lowercase_text(text), "lower_and_split's lowercase: \"" + text + "\"");
        CHECK(from_offsets(lowered, pieces) == model(text), "lower_and_split's tokens: \"" + text + "\"");
    }
}

// The tokens a batch holds, by narration (numbered from 1), after counting empties it.
struct Collected {
    std::vector<Tokens> by_narration;

    void take(TokenBatch& batch) {
        for (const TokenBatch::Pending& t : batch.tokens()) {
            if (t.narration >= by_narration.size()) by_narration.resize(t.narration + 1);
            by_narration[t.narration].emplace_back(batch.token(t));
        }
        batch.clear();
    }
};

// Narrations back to back in one batch, as derivation adds them: the short ones through
// lower_and_split or its fallback, those with room for more tokens than a batch holds a
// batch at a time.
TEST_CASE(token_batches_hold_the_defined_tokens) {
    std::vector<std::string> narrations = generated_texts();
    std::mt19937 rng(5);
    for (int i = 0; i < 6; ++i) narrations.push_back(random_text(rng, 20000 + 7 * i, i % 2 == 0));
    const TokenTable table(1, 16);
    TokenBatch batch(table, TokenShare{});
    Collected collected;
    const auto count = [&](std::size_t) {
        collected.take(batch);
        return true;
    };
    for (std::size_t i = 0; i < narrations.size(); ++i) {
        batch.add(narrations[i], static_cast<std::uint32_t>(i + 1), 0, count);
        if (i % 7 == 6) collected.take(batch);
    }
    collected.take(batch);
    collected.by_narration.resize(narrations.size() + 1);
    for (std::size_t i = 0; i < narrations.size(); ++i) {
        CHECK(collected.by_narration[i + 1] == model(narrations[i]),
              "narration " + std::to_string(i) + " of " + std::to_string(narrations[i].size()) + " bytes");
    }
}

}  // namespace
}  // namespace lorvane::categorizer
