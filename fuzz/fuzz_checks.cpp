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
#include "support/program_invariants.hpp"

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

void check_model(const model::ModelState& model) {
    const std::string broken = testing::broken_model_rule(model);
    check(broken.empty(), "the model broke a rule", broken);
}

void check_pending(const editing::PendingEdits& pending) {
    const std::string broken = testing::broken_pending_rule(pending);
    check(broken.empty(), "the pending edits broke a rule", broken);
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
