// Pending edits of the parameter fields and the map count field.
#include "editing/pending_edits.hpp"

#include <cmath>

#include "model/number_text.hpp"
#include "model/start_up.hpp"

namespace quobel::editing {

using windows::Field;

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

namespace {

struct StockFieldTarget {
    MapStockTable<double>* values;
    MapStockTable<std::int16_t>* flags;
    int map;
};

// The pending tables and map row that a stock field array records into; values null for fields
// that show no stock parameter.
StockFieldTarget stock_target(PendingEdits& pending, Field field) {
    switch (field) {
        case Field::Text1:
            return {&pending.new_R, &pending.edited_R, 1};
        case Field::Text2:
            return {&pending.new_la1, &pending.edited_la1, 1};
        case Field::Text3:
            return {&pending.new_la2, &pending.edited_la2, 1};
        case Field::Text5:
            return {&pending.new_R, &pending.edited_R, 2};
        case Field::Text6:
            return {&pending.new_la1, &pending.edited_la1, 2};
        case Field::Text7:
            return {&pending.new_la2, &pending.edited_la2, 2};
        case Field::Text10:
            return {&pending.new_R, &pending.edited_R, 3};
        case Field::Text11:
            return {&pending.new_la1, &pending.edited_la1, 3};
        case Field::Text12:
            return {&pending.new_la2, &pending.edited_la2, 3};
        default:
            return {nullptr, nullptr, 0};
    }
}

}  // namespace

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
    const StockFieldTarget target = stock_target(pending, field);
    if (target.values == nullptr) {
        return;
    }
    (*target.values)(target.map, index + 1) = value;
    (*target.flags)(target.map, index + 1) = 1;
}

void set_num_maps(model::ModelState& model, windows::MainWindowOps& window, std::string_view text) {
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
