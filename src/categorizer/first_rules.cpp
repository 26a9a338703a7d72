// Choosing the way of a request and running it: the patterns and narrations lowercased
// as the way needs them.
#include "categorizer/first_rules.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "categorizer/direct/direct.hpp"
#include "categorizer/matcher.hpp"
#include "categorizer/text/lowercase.hpp"
#include "common/bytes.hpp"

namespace lorvane::categorizer {
namespace {

static_assert(RuleMatcher::no_rule == UINT32_MAX);

// The lowercased patterns of the rules that can decide. A pattern that is its own
// lowercase (ASCII without capitals) is viewed where it lies; the others are lowercased
// into one buffer.
struct LoweredPatterns {
    std::string storage;
    std::vector<std::string_view> views;

    explicit LoweredPatterns(std::span<const std::string_view> patterns) {
        constexpr std::size_t in_place = SIZE_MAX;
        std::vector<std::size_t> ends(patterns.size(), in_place);  // in bytes, of the lowercased ones
        std::size_t total = 0;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const std::string_view p = patterns[i];
            const bool own_lowercase = bytes::is_ascii(p) && !has_ascii_capital(p);
            if (!own_lowercase) {
                ends[i] = 0;
                total += p.size();
            }
        }
        storage.reserve(total);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (ends[i] == in_place) continue;
            lowercase_append(patterns[i], storage);
            ends[i] = storage.size();
        }
        views.reserve(patterns.size());
        std::size_t begin = 0;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (ends[i] == in_place) {
                views.push_back(patterns[i]);
                continue;
            }
            views.push_back(std::string_view(storage).substr(begin, ends[i] - begin));
            begin = ends[i];
        }
    }
};

// The texts to scan, in place of `texts`: each as is where `keep` says so, else its
// lowercase. The lowercased ones are kept back to back in `lowered` and viewed once it
// has stopped growing.
template <class Keep>
void lower_texts(std::vector<std::string_view>& texts, std::string& lowered, Keep&& keep) {
    std::vector<std::pair<std::size_t, std::size_t>> placed;  // (text, its end)
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (keep(texts[i])) continue;
        lowercase_append(texts[i], lowered);
        placed.emplace_back(i, lowered.size());
    }
    std::size_t begin = 0;
    for (const auto& [i, end] : placed) {
        texts[i] = std::string_view(lowered).substr(begin, end - begin);
        begin = end;
    }
}

// One automaton of all the lowercased patterns. Narrations not yet lowercased are
// lowercased here, except ASCII ones when the automaton reads their capitals as small
// letters.
void by_automaton(std::span<const std::string_view> patterns, std::vector<std::string_view>& narrations,
                  bool narrations_lowered, std::span<std::uint32_t> picked, const automaton::LayoutChoice& layout) {
    const LoweredPatterns lowered_patterns(patterns);
    const RuleMatcher matcher(lowered_patterns.views, layout);
    std::fill(picked.begin(), picked.end(), matcher.first_match({}));
    if (!matcher.reads_text()) return;
    std::string lowered;
    if (!narrations_lowered) {
        lower_texts(narrations, lowered,
                    [&](std::string_view text) { return matcher.folds_ascii_capitals() && bytes::is_ascii(text); });
    }
    matcher.first_matches(narrations, picked);
}

// Estimated nanoseconds of each way. The constants are fitted to what
// benchmarks/matcher_cost.py measures at the grid's shapes (1 to 10,000 narrations of
// about 45 bytes, 10 to 10,000 rules of about 10 bytes; a 2-core AMD EPYC):
// - direct: the masks cost about 2 ns per byte of text and 20 ns per text; each rule
//   then costs a few ns, and 3 ns per block of 64 texts for its masks; the searches
//   themselves are few once the masks have ruled texts out.
// - automaton: about 15 ns per pattern byte and 20 ns per rule to build (the trie, its
//   links and a table), then about 1.2 ns per byte of text to lowercase and scan.
// The estimates are within a factor of two of the measured times at every shape, and
// never choose the way that measured more than 1.3 times slower; near the crossing the
// two ways cost about the same.
double direct_cost(const Work& w) noexcept {
    const double blocks = static_cast<double>((w.texts + 63) / 64);
    return 200 + 2.0 * static_cast<double>(w.text_bytes) + static_cast<double>(w.rules) * (6 + 3 * blocks) +
           20 * static_cast<double>(w.texts);
}

double automaton_cost(const Work& w) noexcept {
    return 1000 + 15 * static_cast<double>(w.pattern_bytes) + 20 * static_cast<double>(w.rules) +
           1.2 * static_cast<double>(w.text_bytes);
}

// Nanoseconds of searching a byte of text, directly.
constexpr double search_cost = 0.1;

}  // namespace

double estimated_ns(Way way, const Work& work) noexcept {
    return way == Way::direct ? direct_cost(work) : automaton_cost(work);
}

Way cheapest_way(const Work& work) noexcept {
    return direct_cost(work) <= automaton_cost(work) ? Way::direct : Way::automaton;
}

std::vector<std::uint32_t> first_rules(std::span<const std::string_view> patterns,
                                       std::vector<std::string_view> narrations, const WayChoice& choice) {
    std::vector<std::uint32_t> picked(narrations.size(), RuleMatcher::no_rule);
    if (narrations.empty()) return picked;
    const std::size_t deciding = deciding_rules(patterns.size(), [&](std::size_t i) { return patterns[i]; });
    patterns = patterns.first(deciding);
    if (patterns.empty()) return picked;
    if (patterns.front().empty()) {
        std::fill(picked.begin(), picked.end(), 0);
        return picked;
    }

    Work work{narrations.size(), 0, patterns.size(), 0};
    for (const std::string_view text : narrations) work.text_bytes += text.size();
    for (const std::string_view p : patterns) work.pattern_bytes += p.size();
    std::string lowered;  // the direct search's lowercased narrations, kept for the automaton
    const bool direct = choice.forced.value_or(cheapest_way(work)) == Way::direct;
    if (direct) {
        lower_texts(narrations, lowered, [](std::string_view) { return false; });
        // Searches that would cost more than twice the automaton are cut short.
        const auto budget = static_cast<std::size_t>(2 * automaton_cost(work) / search_cost);
        if (direct::first_rules(patterns, narrations, picked, budget)) return picked;
        // A search went over its budget: the automaton's time is linear whatever the texts,
        // and it scans the narrations already lowercased.
        std::fill(picked.begin(), picked.end(), RuleMatcher::no_rule);
    }
    by_automaton(patterns, narrations, direct, picked, choice.layout);
    return picked;
}

}  // namespace lorvane::categorizer
