// The first rule of each text by looking for the patterns one after another, each in the
// texts that no pattern before it has decided and that the masks of its three-byte runs
// leave: for a few texts, where building an automaton would cost more than the search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace lorvane::categorizer::direct {

// patterns[i] is rule i's pattern as written: it is lowercased only if some text is
// still undecided when its turn comes and may hold it. texts are lowercased. Writes
// out[t], for each text, the index of the first pattern that occurs in it, or leaves it
// as it is where none does. Returns false, with out partly written, when a search went
// over its budget, or when the texts searched add up to more than `budget` bytes: the
// patterns are then to be looked for with an automaton, whose time is linear whatever
// the texts and bounded whatever the patterns.
bool first_rules(std::span<const std::string_view> patterns, std::span<const std::string_view> texts,
                 std::span<std::uint32_t> out, std::size_t budget);

}  // namespace lorvane::categorizer::direct
