// Pending edits of the parameter fields and the map count field.
#include "editing/pending_edits.hpp"

#include <cmath>

#include "model/number_text.hpp"
#include "model/start_up.hpp"

namespace quobel::editing {

void PendingEdits::clear_stock_flags(int maps, int stocks) {
    for (int s = 1; s <= maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            edited_R(s, k) = 0;
            edited_la1(s, k) = 0;
            edited_la2(s, k) = 0;
        }
    }
}

void PendingEdits::clear_flags(int maps, int stocks) {
    for (int s = 1; s <= maps; ++s) {
        edited_prob(s) = 0;
    }
    clear_stock_flags(maps, stocks);
}

void record_edit(PendingEdits& pending, Field field, int index, std::string_view text) {
    // The pending tables have ten entries per index; the window itself has fewer elements.
    if (index < 0 || index >= model::max_stocks) {
        return;
    }
    const double value = model::parse_leading_number(text);
    if (field == Field::Text8) {
        pending.new_prob(index + 1) = value;
        pending.edited_prob(index + 1) = 1;
        return;
    }
    const auto [parameter, map] = stock_field_parameter(field);
    if (map == 0) {
        return;
    }
    pending.values(parameter)(map, index + 1) = value;
    pending.flags(parameter)(map, index + 1) = 1;
}

void set_num_maps(model::ModelState& model, FieldWriter& window, std::string_view text) {
    model.num_maps = model::parse_leading_number(text);
    if (model.num_maps == 2) {
        const double share = model.prob(1) / (model.prob(1) + model.prob(2));
        const double first = model::truncate3(share);
        // prob(1) + prob(2) = 0 (or values so large that the share is lost) has no outcome to
        // show: leave prob and the fields as they are.
        if (!std::isfinite(first)) {
            return;
        }
        model.prob(1) = first;
        model.prob(2) = 1 - model.prob(1);
        window.set_field_text(Field::Text8, 0, model::general_text(model.prob(1)));
        window.set_field_text(Field::Text8, 1, model::general_text(model.prob(2)));
        window.set_field_text(Field::Text8, 2, "0");
    }
    if (model.num_maps == 3) {
        model.prob(1) = 0.3;
        model.prob(2) = 0.3;
        model.prob(3) = 0.4;
        for (int i = 0; i < 3; ++i) {
            window.set_field_text(Field::Text8, i, model::general_text(model.prob(i + 1)));
        }
    }
}

}  // namespace quobel::editing
