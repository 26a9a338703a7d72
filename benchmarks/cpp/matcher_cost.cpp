// What the ways of matching cost, outside the interpreter: python benchmarks/matcher_cost.py
// writes requests of the benchmark data and runs this on each.
//
//   lorvane_matcher_cost FILE
//
// FILE: a line "RULES NARRATIONS", then a pattern a line, then a narration a line. Prints
// the automaton's build in ns per pattern byte (chosen layout, and each layout forced),
// and the whole matching in µs by each way with the estimates the choice is made from.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/first_rules.hpp"
#include "categorizer/matcher.hpp"
#include "categorizer/text/lowercase.hpp"

namespace {

using namespace lorvane::categorizer;

// Median seconds of one call, each sample a loop of calls lasting at least 20 ms.
template <class F>
double seconds(F&& call) {
    using clock = std::chrono::steady_clock;
    std::vector<double> samples;
    for (int s = 0; s < 5; ++s) {
        long calls = 0;
        const auto start = clock::now();
        double elapsed = 0;
        do {
            call();
            ++calls;
            elapsed = std::chrono::duration<double>(clock::now() - start).count();
        } while (elapsed < 0.02);
        samples.push_back(elapsed / static_cast<double>(calls));
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

WayChoice forced(Way way, std::optional<automaton::Forced> layout = std::nullopt) {
    WayChoice choice;
    choice.forced = way;
    choice.layout.forced = layout;
    return choice;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lorvane_matcher_cost FILE\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::size_t rules = 0, narrations = 0;
    in >> rules >> narrations;
    std::string line;
    std::getline(in, line);
    std::vector<std::string> pattern_text(rules), narration_text(narrations);
    for (std::string& p : pattern_text) std::getline(in, p);
    for (std::string& n : narration_text) std::getline(in, n);
    const std::vector<std::string_view> patterns(pattern_text.begin(), pattern_text.end());
    const std::vector<std::string_view> texts(narration_text.begin(), narration_text.end());

    Work work{texts.size(), 0, patterns.size(), 0};
    for (std::string_view t : texts) work.text_bytes += t.size();
    for (std::string_view p : patterns) work.pattern_bytes += p.size();

    std::vector<std::string> lowered;
    for (std::string_view p : patterns) lowered.push_back(lowercase_text(p));
    const std::vector<std::string_view> lowered_views(lowered.begin(), lowered.end());
    const double bytes = static_cast<double>(work.pattern_bytes);
    std::printf("rules %zu narrations %zu pattern_bytes %zu text_bytes %zu\n", work.rules, work.texts,
                work.pattern_bytes, work.text_bytes);
    using automaton::Forced;
    using automaton::Layout;
    const std::pair<const char*, automaton::LayoutChoice> layouts[] = {
        {"dense", {automaton::LayoutChoice::default_budget, Forced{Layout::dense, true}}},
        {"compact", {automaton::LayoutChoice::default_budget, Forced{Layout::compact, true}}},
        {"linked", {automaton::LayoutChoice::default_budget, Forced{Layout::linked, false, 1}}},
        {"chosen", {}},
    };
    for (const auto& [name, choice] : layouts) {
        const double s = seconds([&] { const RuleMatcher matcher(lowered_views, choice); });
        std::printf("build %-8s %8.2f ns per pattern byte\n", name, s * 1e9 / bytes);
    }
    const std::pair<const char*, Way> ways[] = {{"direct", Way::direct}, {"automaton", Way::automaton}};
    for (const auto& [name, way] : ways) {
        const double s = seconds([&] { first_rules(patterns, texts, forced(way)); });
        std::printf("way %-10s %10.2f us  estimated %10.2f us\n", name, s * 1e6, estimated_ns(way, work) / 1e3);
    }
    std::printf("chosen %s\n", cheapest_way(work) == Way::direct ? "direct" : "automaton");
    return 0;
}
