// The points of a sweep axis as the decimals they stand for, each rounded once to a double.
#pragma once

#include <cstdint>

namespace quobel::sweep {

// Point i of an axis of COUNT points from FROM to TO: the exact decimal FROM + i (TO - FROM) /
// (COUNT - 1), with FROM and TO as typed, rounded once: 0.1:0.9:5 gives the double nearest to 0.3,
// not 0.1 + 0.2, and no intermediate overflows, as TO - FROM does for -1e308:1e308. Written over a
// common power of ten it is (a (n - i) + b i) 10^e / n with whole a and b; when that numerator and
// denominator are whole numbers below 2^53 they are exact doubles and one division rounds the
// quotient correctly. Other points, rare, go through their decimal text.
double decimal_grid_point(double from, double to, std::int64_t count, std::int64_t i);

}  // namespace quobel::sweep
