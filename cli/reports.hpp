// What quobel-cli prints of the exponents and of a long run, as JSON or as readable text. JSON
// numbers are in shortest round-trip form, and the strings "inf", "-inf" and "nan" where they are
// not finite.
#pragma once

#include <ostream>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"

namespace quobel::cli {

void analysis_report(const analysis::BoundaryExponents& e, bool json, std::ostream& out);
// A run beside the flags of its parameters' exponents, which say what makes its figures doubtful.
// Of several chains, the pooled figures and beside each error the one from the chains' spread.
void run_json(const analysis::EnsembleResult& e, const std::vector<analysis::Flag>& flags,
              std::ostream& out);
void run_text(const analysis::EnsembleResult& e, const std::vector<analysis::Flag>& flags,
              std::ostream& out);

}  // namespace quobel::cli
