// Parameter names and sweep axes as the command line writes them.
#include "sweep/parameter_names.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

#include "editing/fields.hpp"
#include "model/number_text.hpp"
#include "sweep/decimal_grid.hpp"

namespace quobel::sweep {

namespace {

using Table = ParameterName::Table;

constexpr std::string_view blanks = " \t";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<std::int64_t> whole_number(std::string_view text) {
    text = trimmed(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<ParameterName> parse_parameter_name(std::string_view text) {
    text = trimmed(text);
    const auto open = text.find('(');
    if (open == std::string_view::npos || !text.ends_with(')')) {
        return std::nullopt;
    }
    const std::string_view table = trimmed(text.substr(0, open));
    const std::string_view inside = text.substr(open + 1, text.size() - open - 2);
    ParameterName name;
    if (table == "prob") {
        name.table = Table::prob;
        const auto map = whole_number(inside);
        if (!map) {
            return std::nullopt;
        }
        name.map = static_cast<int>(std::clamp<std::int64_t>(*map, 0, 1000));
        return name;
    }
    if (table == "R") {
        name.table = Table::R;
    } else if (table == "la1") {
        name.table = Table::la1;
    } else if (table == "la2") {
        name.table = Table::la2;
    } else {
        return std::nullopt;
    }
    const auto comma = inside.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    const auto map = whole_number(inside.substr(0, comma));
    const auto stock = whole_number(inside.substr(comma + 1));
    if (!map || !stock) {
        return std::nullopt;
    }
    name.map = static_cast<int>(std::clamp<std::int64_t>(*map, 0, 1000));
    name.stock = static_cast<int>(std::clamp<std::int64_t>(*stock, 0, 1000));
    return name;
}

std::string_view table_name(ParameterName::Table table) {
    switch (table) {
        case Table::R:
            return "R";
        case Table::la1:
            return "la1";
        case Table::la2:
            return "la2";
        case Table::prob:
            break;
    }
    return "prob";
}

std::string parameter_name_text(const ParameterName& name) {
    const std::string map = std::to_string(name.map);
    const std::string table(table_name(name.table));
    if (name.table == Table::prob) {
        return table + "(" + map + ")";
    }
    return table + "(" + map + "," + std::to_string(name.stock) + ")";
}

editing::Parameter stock_parameter(ParameterName::Table table) {
    return table == Table::R     ? editing::Parameter::R
           : table == Table::la1 ? editing::Parameter::la1
                                 : editing::Parameter::la2;
}

double parameter_value(const model::ModelState& model, const ParameterName& name) {
    switch (name.table) {
        case Table::R:
            return model.R(name.map, name.stock).value();
        case Table::la1:
            return model.la1(name.map, name.stock).value();
        case Table::la2:
            return model.la2(name.map, name.stock);
        case Table::prob:
            break;
    }
    return model.prob(name.map);
}

std::string missing_parameter(const model::ModelState& model, const ParameterName& name) {
    const int maps = model.maps_in_tables();
    const int stocks = model.stocks_in_tables();
    const std::string counts = " (the file has " + std::to_string(maps) + " maps and " +
                               std::to_string(stocks) + " stocks)";
    if (name.table == Table::prob) {
        if (name.map < 1 || name.map > maps) {
            return "the file has no parameter " + parameter_name_text(name) + counts + ".";
        }
        return {};
    }
    // Recalculation renormalises the stock rows of the window's three maps only.
    if (name.map < 1 || name.map > std::min(maps, editing::window_maps) || name.stock < 1 ||
        name.stock > stocks) {
        return "the file has no parameter " + parameter_name_text(name) + " to vary" + counts +
               "; maps 1 to 3 can be varied.";
    }
    return {};
}

double Axis::value(std::int64_t i) const {
    return decimal_grid_point(from, to, count, i);
}

AxisRead parse_axis(std::string_view text) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {std::nullopt,
                "--vary takes NAME=FROM:TO:COUNT, not \"" + std::string(text) + "\"."};
    }
    const auto name = parse_parameter_name(text.substr(0, equals));
    if (!name) {
        return {std::nullopt, "--vary: \"" + std::string(text.substr(0, equals)) +
                                  "\" is not a parameter name like R(2,3), la1(1,2), la2(3,1) or "
                                  "prob(2)."};
    }
    const std::string_view range = text.substr(equals + 1);
    const auto first = range.find(':');
    const auto second = first == std::string_view::npos ? first : range.find(':', first + 1);
    if (second == std::string_view::npos) {
        return {std::nullopt,
                "--vary takes NAME=FROM:TO:COUNT, not \"" + std::string(text) + "\"."};
    }
    const auto from = model::parse_decimal(trimmed(range.substr(0, first)));
    const auto to = model::parse_decimal(trimmed(range.substr(first + 1, second - first - 1)));
    const auto count = whole_number(range.substr(second + 1));
    if (!from || !to) {
        return {std::nullopt,
                "--vary: FROM and TO must be decimal numbers in \"" + std::string(text) + "\"."};
    }
    if (!count || *count < 1 || *count > max_axis_count) {
        return {std::nullopt, "--vary: COUNT must be a whole number from 1 to " +
                                  std::to_string(max_axis_count) + " in \"" + std::string(text) +
                                  "\"."};
    }
    return {Axis{*name, *from, *to, *count}, {}};
}

}  // namespace quobel::sweep
