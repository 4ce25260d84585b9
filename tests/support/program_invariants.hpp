// The rules the program's state keeps whatever the user does, shared by the soak test of the real
// windows and the event fuzzer.
#pragma once

#include <string>

#include "editing/pending_edits.hpp"
#include "model/model_state.hpp"

namespace quobel::testing {

// The first broken rule of the model, or an empty text: counts finite and the stock count within
// the tables, the graph resolution as start-up set it, the current point and every table cell
// finite. Cells beyond the counts are checked too: nothing may ever store a non-finite value.
std::string broken_model_rule(const model::ModelState& model);

// The first broken rule of the pending edits, or an empty text: every edit flag 0 or 1, every
// pending value finite.
std::string broken_pending_rule(const editing::PendingEdits& pending);

}  // namespace quobel::testing
