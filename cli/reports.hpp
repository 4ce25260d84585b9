// What quobel-cli prints of the exponents and of a long run, as JSON or as readable text. JSON
// numbers are in shortest round-trip form, and null where they are not finite.
#pragma once

#include <ostream>

#include "analysis/boundary_exponents.hpp"
#include "analysis/long_run.hpp"

namespace quobel::cli {

void analysis_report(const analysis::BoundaryExponents& e, bool json, std::ostream& out);
void run_json(const analysis::LongRunResult& r, std::ostream& out);
void run_text(const analysis::LongRunResult& r, std::ostream& out);

}  // namespace quobel::cli
