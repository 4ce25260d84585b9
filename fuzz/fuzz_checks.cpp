// Checks shared by the fuzz targets.
#include "fuzz_checks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "model/number_text.hpp"
#include "storage/parameter_file.hpp"

namespace quobel::fuzz {

namespace fs = std::filesystem;

void fail(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "\n== broken invariant: %.*s\n%.*s\n", static_cast<int>(what.size()),
                 what.data(), static_cast<int>(detail.size()), detail.data());
    std::abort();
}

std::string exact_text(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", x);
    return buffer;
}

namespace {

template <class Table, class Value>
void check_cells(const Table& table, Value value, std::string_view name) {
    for (int s = 1; s <= model::max_maps; ++s) {
        for (int k = 1; k <= model::max_stocks; ++k) {
            if (!std::isfinite(value(table(s, k)))) {
                fail("non-finite table cell",
                     std::string(name) + "(" + std::to_string(s) + "," + std::to_string(k) + ")");
            }
        }
    }
}

double plain(double x) {
    return x;
}

double cell_value(model::RealCell cell) {
    return cell.value();
}

template <class Table>
void check_flags(const Table& flags, std::string_view name) {
    for (int s = 1; s <= model::max_maps; ++s) {
        for (int k = 1; k <= model::max_stocks; ++k) {
            if (flags(s, k) != 0 && flags(s, k) != 1) {
                fail("edit flag neither 0 nor 1", std::string(name) + "(" + std::to_string(s) +
                                                      "," + std::to_string(k) +
                                                      ") = " + std::to_string(flags(s, k)));
            }
        }
    }
}

}  // namespace

void check_model(const model::ModelState& model) {
    check(std::isfinite(model.num_maps), "num_maps not finite");
    check(std::isfinite(model.num_stocks), "num_stocks not finite");
    // Only a load sets the stock count, and a load refuses more stocks than the tables hold.
    check(model.num_stocks <= model::max_stocks, "num_stocks beyond the tables");
    check(model.num_points == 100, "num_points changed");
    check(model.grid_step == 1.0 / 100, "grid_step changed");
    check(std::isfinite(model.current_r.value()), "current_r not finite");
    check_cells(model.R, cell_value, "R");
    check_cells(model.la1, cell_value, "la1");
    check_cells(model.la2, plain, "la2");
    for (int s = 1; s <= model::max_maps; ++s) {
        check(std::isfinite(model.prob(s)), "prob not finite", std::to_string(s));
    }
}

void check_pending(const editing::PendingEdits& pending) {
    check_flags(pending.edited_R, "edited_R");
    check_flags(pending.edited_la1, "edited_la1");
    check_flags(pending.edited_la2, "edited_la2");
    check_cells(pending.new_R, plain, "new_R");
    check_cells(pending.new_la1, plain, "new_la1");
    check_cells(pending.new_la2, plain, "new_la2");
    for (int s = 1; s <= model::max_maps; ++s) {
        const auto flag = pending.edited_prob(s);
        check(flag == 0 || flag == 1, "edited_prob neither 0 nor 1", std::to_string(s));
        check(std::isfinite(pending.new_prob(s)), "new_prob not finite", std::to_string(s));
    }
}

void check_reloads(std::string_view written, std::string_view where) {
    const storage::ReadOutcome read = storage::read_value_block(written);
    if (!read.parameters) {
        fail("a file the program wrote does not load",
             std::string(where) + ": " + read.reason + "\n" + std::string(written));
    }
    model::ModelState reloaded;
    storage::apply_parameters(reloaded, *read.parameters);
    const std::string again = storage::parameter_file_text(reloaded);
    if (again != written) {
        fail("save, load, save changed the file",
             std::string(where) + "\nfirst:\n" + std::string(written) + "\nagain:\n" + again);
    }
}

void check_fields_show_model(const model::ModelState& m, const testing::RecordingMainWindow& window,
                             CellText r_and_la1) {
    using windows::Parameter;
    const auto cell_text = [r_and_la1](model::RealCell cell) {
        return r_and_la1 == CellText::general ? model::general_text(cell)
                                              : model::three_decimals_text(cell.value());
    };
    const int stocks = std::min(m.stocks_in_tables(), windows::window_stocks);
    for (int s = 1; s <= windows::window_maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            const std::string where = "map " + std::to_string(s) + ", stock " + std::to_string(k);
            check(window.field_text(windows::stock_field(Parameter::R, s), k - 1) ==
                      cell_text(m.R(s, k)),
                  "an R field does not show the model", where);
            check(window.field_text(windows::stock_field(Parameter::la1, s), k - 1) ==
                      cell_text(m.la1(s, k)),
                  "a la1 field does not show the model", where);
            check(window.field_text(windows::stock_field(Parameter::la2, s), k - 1) ==
                      model::three_decimals_text(m.la2(s, k)),
                  "a la2 field does not show the model", where);
        }
    }
    const int maps = std::min(m.maps_in_tables(), windows::window_maps);
    for (int j = 0; j < maps; ++j) {
        check(window.field_text(testing::Field::Text8, j) == model::general_text(m.prob(j + 1)),
              "a prob field does not show the model", window.field_text(testing::Field::Text8, j));
    }
    check(window.field_text(testing::Field::Text9, 0) == model::general_text(m.num_maps),
          "Text9 does not show the map count", window.field_text(testing::Field::Text9, 0));
    check_map_count_shown(m, window);
}

void check_map_count_shown(const model::ModelState& m, const testing::RecordingMainWindow& window) {
    const std::string shown = window.field_text(testing::Field::Text9, 0);
    check(model::parse_leading_number(shown) == m.num_maps,
          "the map count in force is not the one Text9 shows",
          "Text9 \"" + shown + "\", num_maps " + model::general_text(m.num_maps) + " (" +
              exact_text(m.num_maps) + ")");
}

void WindowWatch::look(const testing::RecordingMainWindow& window) {
    const testing::RecordingSurface& surface = window.surface;
    if (&window != window_ || surface.clears != clears_) {
        if (&window != window_) {
            writes_ = 0;
        }
        window_ = &window;
        clears_ = surface.clears;
        lines_ = points_ = 0;
    }
    for (; writes_ < window.writes.size(); ++writes_) {
        const auto& [field, index, text] = window.writes[writes_];
        check(index >= 0 && index < windows::field_elements(field),
              "a write to a field element the window does not have", text);
    }
    const auto finite = [](const testing::Segment& segment) {
        return std::isfinite(segment.x1) && std::isfinite(segment.y1) &&
               std::isfinite(segment.x2) && std::isfinite(segment.y2);
    };
    for (; lines_ < surface.lines.size(); ++lines_) {
        check(finite(surface.lines[lines_]), "a line that is not finite");
    }
    for (; points_ < surface.points.size(); ++points_) {
        check(finite(surface.points[points_]), "a point that is not finite");
    }
}

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/quobel-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        fail("cannot create a scratch folder", pattern);
    }
    path_ = buffer.data();
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void ScratchFolder::empty() const {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(path_, ignored)) {
        fs::remove_all(entry.path(), ignored);
    }
}

const ScratchFolder& scratch_folder() {
    static const ScratchFolder folder;
    return folder;
}

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& name, std::string_view text) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    check(static_cast<bool>(out), "cannot write a scratch file", name);
}

}  // namespace quobel::fuzz
