// The parameter file: a value block read back by a load, then a listing block for people.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/model_state.hpp"
#include "storage/text_file.hpp"

namespace quobel::storage {

// The whole file text (CRLF line ends) for the model's counts and tables. Every file the program
// writes loads back: counts above the tables' 10 maps or stocks are written as 10, and the cells
// written are those of the counts that a reader takes from the written counts.
std::string parameter_file_text(const model::ModelState& model);

// Saves the file safely, as replace_file (storage/text_file.hpp) says.
FileOutcome save_parameter_file(const model::ModelState& model, const std::string& name);

// The values a value block holds: counts, the cells of maps 1..S and stocks 1..K, prob(1..S).
struct ParameterSet {
    double num_maps = 0;
    double num_stocks = 0;
    model::MapStockTable<double> R, la1, la2;
    model::MapTable<double> prob;
};

struct ReadOutcome {
    std::optional<ParameterSet> parameters;
    std::string reason;  // why the text was refused, when parameters is empty
};

// Reads the value block by the reading rules: fields end at a comma or a line end, blanks around
// them are ignored, an empty field reads 0. Refuses a missing field, a field that is not a
// number, and a count that is not finite or exceeds the tables (10).
ReadOutcome read_value_block(std::string_view text);

// Stores a parameter set into the model (in double precision); cells beyond its counts keep their
// values.
void apply_parameters(model::ModelState& model, const ParameterSet& parameters);

// Reads and checks the whole value block first and changes the model only when all of it is good.
// Refuses a name that is empty or not a regular file and a file too large to be a parameter file.
FileOutcome load_parameter_file(model::ModelState& model, const std::string& name);

}  // namespace quobel::storage
