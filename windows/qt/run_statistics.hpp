// The figures of a long run as the analysis window shows them: the statistics lines and the
// table of the maps drawn.
#pragma once

#include <QString>
#include <cstdint>

#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "model/model_state.hpp"

class QTableWidget;

namespace quobel::windows::qt {

// Where the run started, the time average and the orbit's exponent with their standard errors
// (beside the exponent of the boundary the orbit approached) and a warning when those may be too
// small, how near r came to each boundary and when, where it was absorbed and what that means,
// and points outside [0, 1] if there were any. Of several chains, the pooled figures, each error
// beside the one from the spread between the chains, and how many chains each boundary absorbed.
QString statistics_text(const analysis::EnsembleResult& ensemble, std::uint64_t seed);

// One row per map: how often it was drawn, that share of the steps, its chance and its prob.
void show_draws(QTableWidget& table, const analysis::LongRunResult& result,
                const model::ModelState& model);

}  // namespace quobel::windows::qt
