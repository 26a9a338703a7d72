// One table of rules and narrations with the rule that decides each, which every way of
// matching and every layout of the automaton is held to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lorvane::categorizer {

inline constexpr std::uint32_t kNone = UINT32_MAX;

struct Row {
    std::vector<std::string> patterns;  // as the caller writes them
    std::string narration;
    std::uint32_t decides;  // the index of the deciding rule, or kNone
};

// clang-format off
inline const std::vector<Row> kFirstRuleWins = {
    {{"coffee"}, "COFFEE SHOP 42", 0},
    {{"shop", "coffee"}, "coffee shop", 0},
    {{"coffee shop", "coffee"}, "my coffee shop", 0},
    {{"coffee", "coffee shop"}, "my coffee shop", 0},
    {{"tea", "abc"}, "xabcx", 1},
    {{"abc", "abc"}, "abc", 0},
    {{"tea", "abc"}, "nothing here", kNone},
    {{"abc"}, "", kNone},
    {{}, "anything", kNone},
    // An empty pattern occurs everywhere: the rules after it never decide.
    {{"", "abc"}, "abc", 0},
    {{"abc", ""}, "xyz", 1},
    {{"abc", ""}, "", 1},
    {{"abc", "", "xyz"}, "xyz", 1},
    {{""}, "", 0},
    {{"xyz", "abc", "", ""}, "abc", 1},
    // Whole texts, and patterns longer than the text.
    {{"narration"}, "NARRATION", 0},
    {{"narrations"}, "narration", kNone},
    // Letter case both ways, also beyond ASCII.
    {{"AMAZON"}, "amazon marketplace", 0},
    {{"amazon"}, "AMAZON MARKETPLACE", 0},
    {{"CAFÉ"}, "café au lait", 0},
    {{"é"}, "CAFÉ", 0},
    {{"i"}, "İSTANBUL", 0},
    {{"ss"}, "STRAßE", kNone},
    {{"ß"}, "STRASSE", kNone},
    {{"ΟΣ"}, "ΟΔΟΣ", 0},
    {{"σ"}, "ΟΔΟΣ", kNone},
    {{"è", "é"}, "crème brûlée", 0},
    {{"é", "è"}, "crème", 1},
    {{"中文", "文"}, "中文字", 0},
    // No word boundaries; spaces and wildcard-looking characters are literal.
    {{"pay"}, "repayment", 0},
    {{" pay"}, "repayment", kNone},
    {{" pay"}, "auto pay", 0},
    {{"a  b"}, "a b", kNone},
    {{"a  b"}, "xa  by", 0},
    {{"50%"}, "save 50% now", 0},
    {{"5*"}, "5x", kNone},
    {{"?"}, "what?", 0},
    // Overlapping patterns: a failed branch falls back along suffixes.
    {{"he", "she", "his", "hers"}, "ushers", 0},
    {{"hers", "his", "she", "he"}, "ushers", 0},
    {{"his", "she", "hers"}, "ushers", 1},
    {{"abcx", "bcd"}, "abcd", 1},
    {{"bcd", "abcx"}, "abcd", 0},
    {{"aab", "ab"}, "aaab", 0},
    {{"aaaa"}, "aaab", kNone},
    {{"ab", "bc", "c"}, "abc", 0},
    {{"c", "bc", "ab"}, "abc", 0},
    {{"xc", "bc", "abd"}, "abc", 1},
    {{"abab", "bab"}, "ababab", 0},
    {{"bab", "abab"}, "aabab", 0},
};
// clang-format on

}  // namespace lorvane::categorizer
