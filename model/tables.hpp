// The model's fixed-size tables, indexed from 1 as maps and stocks are numbered.
#pragma once

#include <array>
#include <cassert>

namespace quobel::model {

inline constexpr int max_maps = 10;    // rows of every table
inline constexpr int max_stocks = 10;  // columns of every two-index table

// How many times a loop over 1, 2, ... runs up to a count that the user may have typed as any real
// number: whole steps up to the count (2.5 runs 1 and 2; below 1 runs none), cut to `limit` so
// that no loop runs past a table or past the fields that exist. NaN runs none.
constexpr int loop_count(double bound, int limit) {
    if (!(bound >= 1.0)) {
        return 0;
    }
    return bound >= limit ? limit : static_cast<int>(bound);
}

// A table indexed by map s = 1..10.
template <class T>
class MapTable {
  public:
    constexpr T& operator()(int s) {
        assert(s >= 1 && s <= max_maps);
        return cells_[s - 1];
    }
    constexpr const T& operator()(int s) const {
        assert(s >= 1 && s <= max_maps);
        return cells_[s - 1];
    }
    // Maps 1..10 at positions 0..9.
    constexpr const std::array<T, max_maps>& all() const { return cells_; }
    friend constexpr bool operator==(const MapTable&, const MapTable&) = default;

  private:
    std::array<T, max_maps> cells_{};
};

// A table indexed by (map s, stock k), s, k = 1..10.
template <class T>
class MapStockTable {
  public:
    constexpr T& operator()(int s, int k) {
        assert(s >= 1 && s <= max_maps && k >= 1 && k <= max_stocks);
        return cells_[s - 1][k - 1];
    }
    constexpr const T& operator()(int s, int k) const {
        assert(s >= 1 && s <= max_maps && k >= 1 && k <= max_stocks);
        return cells_[s - 1][k - 1];
    }
    // The row of map s, stocks 1..10 at positions 0..9: for the inner loop of tau.
    constexpr const std::array<T, max_stocks>& row(int s) const {
        assert(s >= 1 && s <= max_maps);
        return cells_[s - 1];
    }
    friend constexpr bool operator==(const MapStockTable&, const MapStockTable&) = default;

  private:
    std::array<std::array<T, max_stocks>, max_maps> cells_{};
};

}  // namespace quobel::model
