// The rules the program's state keeps.
#include "support/program_invariants.hpp"

#include <cmath>
#include <cstdint>

namespace quobel::testing {

namespace {

std::string cell_name(const char* table, int s, int k) {
    return std::string(table) + "(" + std::to_string(s) + "," + std::to_string(k) + ")";
}

template <class Table, class Value>
std::string non_finite_cell(const Table& table, Value value, const char* name) {
    for (int s = 1; s <= model::max_maps; ++s) {
        for (int k = 1; k <= model::max_stocks; ++k) {
            if (!std::isfinite(value(table(s, k)))) {
                return "non-finite table cell " + cell_name(name, s, k);
            }
        }
    }
    return {};
}

template <class Table>
std::string bad_flag(const Table& flags, const char* name) {
    for (int s = 1; s <= model::max_maps; ++s) {
        for (int k = 1; k <= model::max_stocks; ++k) {
            if (flags(s, k) != 0 && flags(s, k) != 1) {
                return "edit flag neither 0 nor 1: " + cell_name(name, s, k) + " = " +
                       std::to_string(flags(s, k));
            }
        }
    }
    return {};
}

double plain(double x) {
    return x;
}

double cell_value(model::RealCell cell) {
    return cell.value();
}

}  // namespace

std::string broken_model_rule(const model::ModelState& model) {
    if (!std::isfinite(model.num_maps)) {
        return "num_maps not finite";
    }
    if (!std::isfinite(model.num_stocks)) {
        return "num_stocks not finite";
    }
    // Only a load sets the stock count, and a load refuses more stocks than the tables hold.
    if (model.num_stocks > model::max_stocks) {
        return "num_stocks beyond the tables";
    }
    if (model.num_points != 100 || model.grid_step != 1.0 / 100) {
        return "the graph resolution changed";
    }
    if (!std::isfinite(model.current_r.value())) {
        return "current_r not finite";
    }
    for (int s = 1; s <= model::max_maps; ++s) {
        if (!std::isfinite(model.prob(s))) {
            return "prob(" + std::to_string(s) + ") not finite";
        }
    }
    for (const std::string& broken :
         {non_finite_cell(model.R, cell_value, "R"), non_finite_cell(model.la1, cell_value, "la1"),
          non_finite_cell(model.la2, plain, "la2")}) {
        if (!broken.empty()) {
            return broken;
        }
    }
    return {};
}

std::string broken_pending_rule(const editing::PendingEdits& pending) {
    for (int s = 1; s <= model::max_maps; ++s) {
        const std::int16_t flag = pending.edited_prob(s);
        if (flag != 0 && flag != 1) {
            return "edited_prob(" + std::to_string(s) + ") neither 0 nor 1";
        }
        if (!std::isfinite(pending.new_prob(s))) {
            return "new_prob(" + std::to_string(s) + ") not finite";
        }
    }
    for (const std::string& broken :
         {bad_flag(pending.edited_R, "edited_R"), bad_flag(pending.edited_la1, "edited_la1"),
          bad_flag(pending.edited_la2, "edited_la2"),
          non_finite_cell(pending.new_R, plain, "new_R"),
          non_finite_cell(pending.new_la1, plain, "new_la1"),
          non_finite_cell(pending.new_la2, plain, "new_la2")}) {
        if (!broken.empty()) {
            return broken;
        }
    }
    return {};
}

}  // namespace quobel::testing
