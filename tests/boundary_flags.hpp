// The flags of the boundary exponents in checks: how a failed check shows them, and a matcher by
// kind, map and stock.
#pragma once

#include <gmock/gmock.h>

#include <ostream>

#include "analysis/boundary_exponents.hpp"

namespace quobel::analysis {

inline void PrintTo(FlagKind kind, std::ostream* out) {
    *out << "kind " << static_cast<int>(kind);
}

inline void PrintTo(const Flag& flag, std::ostream* out) {
    PrintTo(flag.kind, out);
    *out << ", map " << flag.map << ", stock " << flag.stock << ": " << flag.text;
}

namespace test_flags {

// A flag of this kind about map `map` and stock `stock` (0 for none).
MATCHER_P3(FlagAbout, kind, map, stock, "") {
    return arg.kind == kind && arg.map == map && arg.stock == stock;
}

}  // namespace test_flags
}  // namespace quobel::analysis
