// Words of bytes (common/bytes.hpp) against byte-at-a-time answers, and the open-addressing
// index of derivation through its growth, with hashes made to collide.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/flat_index.hpp"
#include "check.hpp"
#include "common/bytes.hpp"

namespace lorvane {
namespace {

std::string random_bytes(std::mt19937& rng, std::size_t n, int highest) {
    std::string text(n, '\0');
    for (char& c : text) c = static_cast<char>(std::uniform_int_distribution<int>(0, highest)(rng));
    return text;
}

TEST_CASE(big_endian_heads_order_texts_bytewise) {
    std::mt19937 rng(11);
    std::vector<std::string> texts = {"", std::string(1, '\0'), std::string(9, '\0'), "\xff", "a", "ab", "abcdefgh",
                                      "abcdefghi", "abcdefgz"};
    for (int i = 0; i < 400; ++i) texts.push_back(random_bytes(rng, rng() % 11, i % 2 ? 255 : 3));
    for (const std::string& a : texts) {
        for (const std::string& b : texts) {
            const std::uint64_t ha = bytes::big_endian_head(a), hb = bytes::big_endian_head(b);
            const std::string_view a8 = std::string_view(a).substr(0, 8), b8 = std::string_view(b).substr(0, 8);
            // Equal heads where the first eight bytes agree up to zeros past the end.
            if (ha != hb) CHECK((ha < hb) == (a8 < b8), "heads order as the texts: " + a + " / " + b);
            if (a8 == b8) CHECK(ha == hb, "equal first bytes, equal heads");
        }
    }
}

TEST_CASE(words_agree_with_bytes) {
    std::mt19937 rng(12);
    for (int i = 0; i < 2000; ++i) {
        const std::string text = random_bytes(rng, 8, i % 3 ? 127 : 255);
        const std::uint64_t word = bytes::load8(text.data());
        for (std::size_t k = 0; k < 8; ++k) {
            CHECK((word >> (8 * k) & 0xff) == static_cast<unsigned char>(text[k]), "load8 holds byte k at bits 8k");
        }
        for (std::size_t n = 0; n <= 8; ++n) {
            std::string prefix = text.substr(0, n) + std::string(8 - n, '\0');
            CHECK(bytes::first_bytes(word, n) == bytes::load8(prefix.data()), "first_bytes " + std::to_string(n));
            if (n < 8) CHECK(bytes::load_partial8(text.data(), n) == bytes::load8(prefix.data()), "load_partial8");
        }
        CHECK(bytes::load4(text.data()) == (word & 0xffffffffu), "load4 is the low half");
        char stored[8];
        bytes::store8(stored, word);
        CHECK(std::string_view(stored, 8) == text, "store8 writes what load8 read");
        if (!(word & bytes::kHighBits)) {
            std::string lowered = text;
            for (char& c : lowered) c = bytes::lower_ascii(c);
            CHECK(bytes::lower_ascii8(word) == bytes::load8(lowered.data()), "lower_ascii8 lowercases each byte");
        }
    }
    for (std::size_t n = 0; n <= 20; ++n) {
        std::string text(n, 'a');
        CHECK(bytes::is_ascii(text), "is_ascii of " + std::to_string(n) + " ASCII bytes");
        for (std::size_t at = 0; at < n; ++at) {
            std::string marked = text;
            marked[at] = '\x80';
            CHECK(!bytes::is_ascii(marked), "a high byte at " + std::to_string(at) + " of " + std::to_string(n));
        }
    }
}

// Keys whose hashes agree in their low bits and often in their tags, so that probes run
// long and tags match keys that differ; the index grows from its smallest size.
TEST_CASE(flat_index_finds_every_key_through_growth) {
    std::vector<std::uint64_t> keys;
    categorizer::FlatIndex index(0);
    const auto hash_of = [](std::uint64_t key) { return (key % 5) << 32 | (key % 3) << 4; };
    for (std::uint64_t key = 0; key < 3000; key += 3) {
        const std::uint64_t hash = hash_of(key);
        const auto is_key = [&](std::uint32_t e) { return keys[e] == key; };
        const categorizer::FlatIndex::Lookup lookup = index.find(hash, is_key);
        CHECK(!lookup.found(), "a new key is not found");
        keys.push_back(key);
        index.add(lookup, hash, [&](std::uint32_t e) { return hash_of(keys[e]); });
    }
    CHECK(index.size() == keys.size(), "one entry per key");
    for (std::uint64_t key = 0; key < 3000; ++key) {
        const categorizer::FlatIndex::Lookup lookup = index.find(hash_of(key), [&](std::uint32_t e) { return keys[e] == key; });
        if (key % 3 == 0) {
            CHECK(lookup.found() && keys[lookup.entry] == key, "key " + std::to_string(key) + " found");
        } else {
            CHECK(!lookup.found(), "key " + std::to_string(key) + " never added");
        }
    }
}

}  // namespace
}  // namespace lorvane
