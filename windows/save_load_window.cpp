// The main window's refresh after a load.
#include "windows/save_load_window.hpp"

#include <algorithm>
#include <string>

#include "editing/pending_edits.hpp"
#include "model/number_text.hpp"

namespace quobel::windows {

void refresh_after_load(ProgramState& state, MainWindowOps& window) {
    const model::ModelState& m = state.model;
    const int stocks = std::min(m.stocks_in_tables(), window_stocks);
    for (int i = 0; i < stocks; ++i) {
        const int k = i + 1;
        for (int s = 1; s <= window_maps; ++s) {
            window.set_field_text(stock_field(Parameter::R, s), i,
                                  model::three_decimals_text(m.R(s, k).value()));
            window.set_field_text(stock_field(Parameter::la1, s), i,
                                  model::three_decimals_text(m.la1(s, k).value()));
            window.set_field_text(stock_field(Parameter::la2, s), i,
                                  model::three_decimals_text(m.la2(s, k)));
        }
    }
    const int maps = std::min(m.maps_in_tables(), window_maps);
    for (int j = 0; j < maps; ++j) {
        window.set_field_text(Field::Text8, j, model::general_text(m.prob(j + 1)));
    }
    window.set_field_text(Field::Text9, 0, model::general_text(m.num_maps));
    // A loaded count with more digits than the field shows (3.000000000000001 shows as 3) leaves
    // a field that already read 3 as it was, so its change handler does not run. The count in
    // force must still be the one the field shows, as after any other change of the field;
    // otherwise the steps and the graphs would find no map while the field says 3.
    const std::string shown = window.field_text(Field::Text9, 0);
    if (model::parse_leading_number(shown) != state.model.num_maps) {
        editing::set_num_maps(state.model, window, shown);
    }
}

}  // namespace quobel::windows
