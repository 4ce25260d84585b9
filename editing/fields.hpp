// The parameter fields of the main window as editing sees them: which fields exist, which
// parameter each shows, and the writes editing makes into them.
#pragma once

#include <string_view>

namespace quobel::editing {

// The text fields of the main window. Text1..Text3, Text5..Text7 and Text10..Text12 are arrays of
// four, one element per stock; Text8 has three, one per map; Text4 and Text9 are single fields.
enum class Field {
    Text1,
    Text2,
    Text3,
    Text4,
    Text5,
    Text6,
    Text7,
    Text8,
    Text9,
    Text10,
    Text11,
    Text12
};

inline constexpr int window_stocks = 4;  // stock columns the window shows
inline constexpr int window_maps = 3;    // map rows the window shows

enum class Parameter { R, la1, la2 };

// The stock field array that shows parameter p of map s (1..3).
constexpr Field stock_field(Parameter p, int s) {
    constexpr Field fields[3][3] = {{Field::Text1, Field::Text2, Field::Text3},
                                    {Field::Text5, Field::Text6, Field::Text7},
                                    {Field::Text10, Field::Text11, Field::Text12}};
    return fields[s - 1][static_cast<int>(p)];
}

// The parameter and map (1..3) that a stock field array shows; map 0 for the other fields.
struct StockFieldParameter {
    Parameter parameter = Parameter::R;
    int map = 0;
};
constexpr StockFieldParameter stock_field_parameter(Field field) {
    for (int s = 1; s <= 3; ++s) {
        for (Parameter p : {Parameter::R, Parameter::la1, Parameter::la2}) {
            if (stock_field(p, s) == field) {
                return {p, s};
            }
        }
    }
    return {};
}

// How many elements the window has for a field.
constexpr int field_elements(Field field) {
    switch (field) {
        case Field::Text4:
        case Field::Text9:
            return 1;
        case Field::Text8:
            return window_maps;
        default:
            return window_stocks;
    }
}

// What editing writes into the main window. A program write of a field is a change like a
// keystroke: when the text differs from the field's present text, the field's change handler runs
// before set_field_text returns; writing the text a field already shows changes nothing and
// notifies no one.
class FieldWriter {
  public:
    virtual void set_field_text(Field field, int index, std::string_view text) = 0;
    // The caption of element `index` of the stock average labels, Label14.
    virtual void set_label_caption(int index, std::string_view text) = 0;
    // Tells the user why the last action did not do all it was asked (a run that stopped early,
    // a refused load); an empty text withdraws the notice. Never modal.
    virtual void show_notice(std::string_view text) = 0;

  protected:
    ~FieldWriter() = default;
};

}  // namespace quobel::editing
