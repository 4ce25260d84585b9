// Philox4x32-10, a counter-based generator: four 32-bit words from a 128-bit counter and a 64-bit
// key by ten rounds of multiplication and xor. Any block is reached at once, so a chain's draws
// depend on its seed, its index and the step alone, never on which lane or thread computes them.
#pragma once

#include <array>
#include <cstdint>

namespace quobel::analysis {

inline constexpr std::uint32_t philox_multiplier_0 = 0xD2511F53;
inline constexpr std::uint32_t philox_multiplier_1 = 0xCD9E8D57;
inline constexpr std::uint32_t philox_weyl_0 = 0x9E3779B9;  // added to the key each round
inline constexpr std::uint32_t philox_weyl_1 = 0xBB67AE85;
inline constexpr int philox_rounds = 10;

using PhiloxCounter = std::array<std::uint32_t, 4>;
using PhiloxKey = std::array<std::uint32_t, 2>;

// The key that round `round` adds: the key plus `round` times the Weyl constants, word by word.
constexpr PhiloxKey philox_round_key(PhiloxKey key, int round) {
    const auto times = static_cast<std::uint32_t>(round);
    return {key[0] + times * philox_weyl_0, key[1] + times * philox_weyl_1};
}

constexpr PhiloxCounter philox4x32(PhiloxCounter counter, PhiloxKey key) {
    for (int round = 0; round < philox_rounds; ++round) {
        const PhiloxKey round_key = philox_round_key(key, round);
        const std::uint64_t product_0 = std::uint64_t{philox_multiplier_0} * counter[0];
        const std::uint64_t product_1 = std::uint64_t{philox_multiplier_1} * counter[2];
        counter = {static_cast<std::uint32_t>(product_1 >> 32) ^ counter[1] ^ round_key[0],
                   static_cast<std::uint32_t>(product_1),
                   static_cast<std::uint32_t>(product_0 >> 32) ^ counter[3] ^ round_key[1],
                   static_cast<std::uint32_t>(product_0)};
    }
    return counter;
}

// A long run's seed as the key: its low word first.
constexpr PhiloxKey philox_key(std::uint64_t seed) {
    return {static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)};
}

// The counter of a chain's block of four steps: the block number in the low words, the chain's
// index in the high ones. Step t draws word t % 4 of block t / 4.
constexpr PhiloxCounter philox_counter(std::uint64_t chain, std::uint64_t block) {
    return {static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(block >> 32),
            static_cast<std::uint32_t>(chain), static_cast<std::uint32_t>(chain >> 32)};
}

}  // namespace quobel::analysis
