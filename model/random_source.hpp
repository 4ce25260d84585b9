// Uniform draws in [0, 1): the program's one fixed-seed generator, replaceable in tests.
#pragma once

#include <cstdint>

namespace quobel::model {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // One single-precision draw u with 0 <= u < 1.
    virtual float draw() = 0;
};

// A small permuted congruential generator with a fixed seed: every run of the program draws the
// same sequence, so the same actions give the same parameters and the same cobweb.
class UniformGenerator final : public RandomSource {
  public:
    UniformGenerator() = default;
    explicit UniformGenerator(std::uint64_t seed);

    float draw() override { return next_float(); }

    // The same draw, callable without a virtual call by code that owns a generator outright.
    float next_float() {
        // 24 random bits scaled by 2^-24 are exact in a float and stay below 1.
        return static_cast<float>(next_u32() >> 8) * 0x1p-24f;
    }

    std::uint32_t next_u32() {
        const std::uint64_t old = state_;
        state_ = old * 6364136223846793005ULL + increment;
        const auto xorshifted = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
        const auto rot = static_cast<std::uint32_t>(old >> 59U);
        return (xorshifted >> rot) | (xorshifted << ((32U - rot) & 31U));
    }

  private:
    static constexpr std::uint64_t increment = 1442695040888963407ULL;
    static constexpr std::uint64_t default_seed = 0x5175'6f62'656cULL;

    std::uint64_t state_ = default_seed;
};

}  // namespace quobel::model
