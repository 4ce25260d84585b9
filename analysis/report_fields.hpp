// The figures of the exponents and of a long run as named fields, in the order reports give them:
// quobel-cli writes them as JSON, the Python module hands them on as a dict. Numbers stay numbers
// here, infinities and NaN included; each writer spells them as its format needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"

namespace quobel::analysis {

struct Field;
using Fields = std::vector<Field>;

// null, a flag, a count, a figure, a text, a row of counts or of figures (histograms), texts, a
// group of fields or a list of groups.
using FieldValue =
    std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, std::vector<std::int64_t>,
                 std::vector<double>, std::vector<std::string>, Fields, std::vector<Fields>>;

struct Field {
    std::string name;
    FieldValue value;
};

// Lambda_0, Lambda_1, the verdict, its explanation, the flags, the Kelly portfolio and each map's
// slopes.
Fields exponents_fields(const BoundaryExponents& exponents);

// A run beside the flags of its parameters' exponents, which say what makes its figures doubtful.
Fields run_fields(const LongRunResult& result, const std::vector<Flag>& flags);

// Independent chains pooled: the run's fields, and with more than one chain their number and the
// errors from the spread between them after those of the batches.
Fields run_fields(const EnsembleResult& ensemble, const std::vector<Flag>& flags);

// "finished", "cancelled", "not finite" or "no map".
std::string_view end_text(LongRunEnd end);

// The flags' texts, and after a run's flags its doubt about its error bars.
std::vector<std::string> flag_texts(const std::vector<Flag>& flags);
std::vector<std::string> flag_texts(const LongRunResult& result, const std::vector<Flag>& flags);

}  // namespace quobel::analysis
