// Parameter names and sweep axes: the components a sweep can vary, read from and written as the
// command line gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "editing/fields.hpp"
#include "model/model_state.hpp"

namespace quobel::sweep {

// One component of the parameters, as the parameter file's listing names it: R(2,3), la1(1,2),
// la2(3,1), prob(2).
struct ParameterName {
    enum class Table { R, la1, la2, prob };
    Table table = Table::R;
    int map = 1;
    int stock = 0;  // 0 for prob
    friend bool operator==(const ParameterName&, const ParameterName&) = default;
};

// The stock table a component of R, la1 or la2 belongs to, as editing names it.
editing::Parameter stock_parameter(ParameterName::Table table);

// Blanks around the numbers are allowed, as the listing writes them ("R( 2 , 3 )").
std::optional<ParameterName> parse_parameter_name(std::string_view text);
std::string parameter_name_text(const ParameterName& name);
// R, la1, la2 or prob.
std::string_view table_name(ParameterName::Table table);

// The component's value in the model, which must have it.
double parameter_value(const model::ModelState& model, const ParameterName& name);

// Why the model has no such component to vary, or empty when it has: stock tables of maps 1..3 up
// to the map count, stocks up to the stock count, prob up to the map count.
std::string missing_parameter(const model::ModelState& model, const ParameterName& name);

// COUNT values from FROM to TO, evenly spaced, both ends included (FROM alone when COUNT is 1).
// Each is the double nearest to its point of the decimal grid, FROM and TO taken as their shortest
// decimals: 0.1:0.9:5 gives 0.3, not 0.1 + 0.2, and no range is too wide to step through.
struct Axis {
    ParameterName name;
    double from = 0;
    double to = 0;
    std::int64_t count = 1;
    double value(std::int64_t i) const;
};

inline constexpr std::int64_t max_axis_count = 1'000'000;
inline constexpr std::int64_t max_grid_size = 100'000'000;

// NAME=FROM:TO:COUNT; on failure the reason, in one line.
struct AxisRead {
    std::optional<Axis> axis;
    std::string reason;
};
AxisRead parse_axis(std::string_view text);

}  // namespace quobel::sweep
