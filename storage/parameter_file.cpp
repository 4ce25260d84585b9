// The parameter file: writing, reading and safe replacement on disk.
#include "storage/parameter_file.hpp"

#include <charconv>
#include <tuple>
#include <utility>

#include "model/number_text.hpp"

namespace quobel::storage {

using model::file_number_text;
using model::max_maps;
using model::max_stocks;

namespace {

constexpr std::string_view line_end = "\r\n";
constexpr std::string_view dashes = "--------------------------------";

// A parameter file is a few kilobytes; anything far larger is not one, and reading it whole
// would only hold the window up.
constexpr std::size_t largest_file = 1 << 20;

// Reads the fields of a value block one after another, keeping the line for messages.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    // The next field's value; empty with reason_ set when there is none or it is not a number.
    std::optional<double> next(std::string_view what) {
        if (position_ >= text_.size()) {
            reason_ = "The file ends before " + std::string(what) + " (line " +
                      std::to_string(line_) + ").";
            return std::nullopt;
        }
        const std::size_t end = text_.find_first_of(",\n", position_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        std::string_view field = text_.substr(position_, stop - position_);
        const int line = line_;
        position_ = stop == text_.size() ? stop : stop + 1;
        if (end != std::string_view::npos && text_[end] == '\n') {
            ++line_;
        }
        constexpr std::string_view blanks = " \t\r";
        const auto first = field.find_first_not_of(blanks);
        if (first == std::string_view::npos) {
            return 0.0;
        }
        field = field.substr(first, field.find_last_not_of(blanks) - first + 1);
        if (const auto value = model::parse_decimal(field)) {
            return value;
        }
        reason_ = "Line " + std::to_string(line) + " holds " + in_quotes(field, 24) + " for " +
                  std::string(what) + ", which is not a number the program can use.";
        return std::nullopt;
    }

    const std::string& reason() const { return reason_; }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
    int line_ = 1;
    std::string reason_;
};

std::string cell_name(std::string_view table, int s, int k) {
    return std::string(table) + "(" + std::to_string(s) + "," + std::to_string(k) + ")";
}

// How many maps or stocks a reader loops over for a count written as `text`. A count just below a
// whole number has that number as its file form (2.9999999999999996 as 3), and a reader then
// expects that number's cells.
int count_as_read(const std::string& text, int limit) {
    FieldReader reader(text);
    return model::loop_count(reader.next("a count").value_or(0), limit);
}

// A count as a message shows it: in its file digits where they give the value, else with all the
// digits that tell it apart from its neighbours (10.000000000000002 is not 10).
std::string count_text(double count) {
    if (std::string text = model::general_text(count); model::parse_decimal(text) == count) {
        return text;
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, count).ptr;
    return std::string(buffer, end);
}

}  // namespace

std::string parameter_file_text(const model::ModelState& model) {
    const std::string maps_written =
        file_number_text(model.num_maps > max_maps ? max_maps : model.num_maps);
    const std::string stocks_written =
        file_number_text(model.num_stocks > max_stocks ? max_stocks : model.num_stocks);
    const int maps = count_as_read(maps_written, max_maps);
    const int stocks = count_as_read(stocks_written, max_stocks);

    std::string text;
    auto line = [&text](std::string_view a, std::string_view b = {}) {
        text.append(a);
        text.append(b);
        text.append(line_end);
    };
    auto each_cell = [&](auto&& write) {
        for (int s = 1; s <= maps; ++s) {
            for (int k = 1; k <= stocks; ++k) {
                write(s, k);
            }
        }
    };

    line(maps_written);
    line(stocks_written);
    each_cell([&](int s, int k) { line(file_number_text(model.R(s, k))); });
    each_cell([&](int s, int k) { line(file_number_text(model.la1(s, k))); });
    each_cell([&](int s, int k) { line(file_number_text(model.la2(s, k))); });
    for (int s = 1; s <= maps; ++s) {
        line(file_number_text(model.prob(s)));
    }

    auto indices = [](int s, int k) {
        return file_number_text(s) + "," + file_number_text(k) + ")";
    };
    line(dashes);
    line(maps_written, "num_maps");
    line(stocks_written, "num_stocks");
    each_cell([&](int s, int k) { line(file_number_text(model.R(s, k)), "R(" + indices(s, k)); });
    each_cell(
        [&](int s, int k) { line(file_number_text(model.la1(s, k)), "la1(" + indices(s, k)); });
    each_cell(
        [&](int s, int k) { line(file_number_text(model.la2(s, k)), "la2(" + indices(s, k)); });
    for (int s = 1; s <= maps; ++s) {
        line(file_number_text(model.prob(s)), "prob(" + file_number_text(s) + ")");
    }
    line(dashes);
    return text;
}

ReadOutcome read_value_block(std::string_view text) {
    FieldReader reader(text);
    ParameterSet set;
    const auto read_count = [&](std::string_view name, double& count) {
        const auto value = reader.next(name);
        if (!value) {
            return false;
        }
        count = *value;
        return true;
    };
    if (!read_count("num_maps", set.num_maps) || !read_count("num_stocks", set.num_stocks)) {
        return {std::nullopt, reader.reason()};
    }
    for (const auto& [name, count, limit] :
         {std::tuple{"num_maps", set.num_maps, max_maps},
          std::tuple{"num_stocks", set.num_stocks, max_stocks}}) {
        if (count > limit) {
            return {std::nullopt, "The file gives " + std::string(name) + " as " +
                                      count_text(count) + "; at most " + std::to_string(limit) +
                                      " fit in the tables."};
        }
    }
    const int maps = model::loop_count(set.num_maps, max_maps);
    const int stocks = model::loop_count(set.num_stocks, max_stocks);
    for (auto [table, name] :
         {std::pair{&set.R, "R"}, std::pair{&set.la1, "la1"}, std::pair{&set.la2, "la2"}}) {
        for (int s = 1; s <= maps; ++s) {
            for (int k = 1; k <= stocks; ++k) {
                const auto value = reader.next(cell_name(name, s, k));
                if (!value) {
                    return {std::nullopt, reader.reason()};
                }
                (*table)(s, k) = *value;
            }
        }
    }
    for (int s = 1; s <= maps; ++s) {
        const auto value = reader.next("prob(" + std::to_string(s) + ")");
        if (!value) {
            return {std::nullopt, reader.reason()};
        }
        set.prob(s) = *value;
    }
    return {set, {}};
}

void apply_parameters(model::ModelState& model, const ParameterSet& parameters) {
    model.num_maps = parameters.num_maps;
    model.num_stocks = parameters.num_stocks;
    const int maps = model.maps_in_tables();
    const int stocks = model.stocks_in_tables();
    for (int s = 1; s <= maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            model.R(s, k) = model::RealCell::of_double(parameters.R(s, k));
            model.la1(s, k) = model::RealCell::of_double(parameters.la1(s, k));
            model.la2(s, k) = parameters.la2(s, k);
        }
        model.prob(s) = parameters.prob(s);
    }
}

FileOutcome load_parameter_file(model::ModelState& model, const std::string& name) {
    std::string text;
    if (FileOutcome read = read_text_file(name, largest_file, "a parameter file", text); !read.ok) {
        return read;
    }
    const ReadOutcome read = read_value_block(text);
    if (!read.parameters) {
        return {false, read.reason};
    }
    apply_parameters(model, *read.parameters);
    return {true, {}};
}

FileOutcome save_parameter_file(const model::ModelState& model, const std::string& name) {
    return replace_file(name, parameter_file_text(model));
}

}  // namespace quobel::storage
