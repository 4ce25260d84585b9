// The fixed-seed uniform generator.
#include "model/random_source.hpp"

namespace quobel::model {

UniformGenerator::UniformGenerator(std::uint64_t seed) : state_(seed) {
    // Mix the seed once so that small seeds (0, 1, 2) do not start with near-zero outputs.
    next_u32();
}

}  // namespace quobel::model
