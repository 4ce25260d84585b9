// Values typed into the parameter fields, kept as pending edits until the next recalculation.
#pragma once

#include <cstdint>
#include <string_view>

#include "editing/fields.hpp"
#include "model/model_state.hpp"

namespace quobel::editing {

using model::MapStockTable;
using model::MapTable;

// A pending value and an edit flag (0 or 1) per parameter component. A pending value means
// something only while its flag is 1; values are never cleared, only overwritten.
struct PendingEdits {
    MapStockTable<double> new_R, new_la1, new_la2;
    MapStockTable<std::int16_t> edited_R, edited_la1, edited_la2;
    MapTable<double> new_prob;
    MapTable<std::int16_t> edited_prob;

    // The pending values and flags of one stock parameter.
    MapStockTable<double>& values(Parameter p) {
        return p == Parameter::R ? new_R : p == Parameter::la1 ? new_la1 : new_la2;
    }
    const MapStockTable<double>& values(Parameter p) const {
        return const_cast<PendingEdits&>(*this).values(p);
    }
    MapStockTable<std::int16_t>& flags(Parameter p) {
        return p == Parameter::R ? edited_R : p == Parameter::la1 ? edited_la1 : edited_la2;
    }
    const MapStockTable<std::int16_t>& flags(Parameter p) const {
        return const_cast<PendingEdits&>(*this).flags(p);
    }

    // Sets the flags of maps 1..maps and, for the stock tables, stocks 1..stocks to 0.
    void clear_stock_flags(int maps, int stocks);
    void clear_flags(int maps, int stocks);

    friend bool operator==(const PendingEdits&, const PendingEdits&) = default;
};

// The change handler of the parameter fields (Text1..Text3, Text5..Text8, Text10..Text12): records
// the leading number of the text as the pending value of the one component the field shows and
// flags it. Element indices outside 0..9, and fields that show no parameter, record nothing.
void record_edit(PendingEdits& pending, Field field, int index, std::string_view text);

// The change handler of the map count field Text9: the count takes effect at once; for exactly 2
// maps prob(1..2) are rescaled to sum 1 (prob(1) cut to three decimals), for exactly 3 they become
// 0.3, 0.3, 0.4, and the Text8 fields are rewritten. A rescale with no finite outcome (prob(1) +
// prob(2) = 0) leaves prob and the fields as they are.
void set_num_maps(model::ModelState& model, FieldWriter& window, std::string_view text);

}  // namespace quobel::editing
