// Seeded property tests: the parameter file's round trip over random model states, and
// recalculation of already normalised states.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "editing/recalculation.hpp"
#include "model/number_text.hpp"
#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"

namespace quobel::testing {
namespace {

using model::ModelState;
using model::Precision;
using model::RealCell;
using Random = std::mt19937_64;

constexpr double largest = std::numeric_limits<double>::max();

// A value of one of the kinds a model cell can come to hold by typing or loading.
double random_value(Random& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double sign = unit(random) < 0.5 ? -1.0 : 1.0;
    switch (std::uniform_int_distribution<int>(0, 6)(random)) {
        case 0:
            return unit(random);  // a share
        case 1:
            return -unit(random);
        case 2:  // tiny, subnormal ones included
            return sign * std::pow(10.0, std::uniform_real_distribution<double>(-323, -4)(random));
        case 3:  // huge
            return sign * std::pow(10.0, std::uniform_real_distribution<double>(4, 308)(random));
        case 4:
            return std::uniform_int_distribution<int>(-10, 10)(random);
        case 5: {
            const double edges[] = {0.0,
                                    -0.0,
                                    largest,
                                    -largest,
                                    std::numeric_limits<double>::min(),
                                    std::numeric_limits<double>::denorm_min(),
                                    std::nextafter(largest, 0.0),
                                    1e15,
                                    0.001};
            return edges[std::uniform_int_distribution<std::size_t>(0,
                                                                    std::size(edges) - 1)(random)];
        }
        default:
            return sign * unit(random) *
                   std::pow(10.0, std::uniform_int_distribution<int>(-20, 20)(random));
    }
}

// Half the cells in single precision, as the random fill stores them.
RealCell random_cell(Random& random) {
    const double value = random_value(random);
    const auto single = static_cast<float>(value);
    if (std::uniform_int_distribution<int>(0, 1)(random) == 0 && std::isfinite(single)) {
        return RealCell::of_single(single);
    }
    return RealCell::of_double(value);
}

double random_count(Random& random) {
    constexpr double counts[] = {0, 1, 2, 3, 4, 2.5};
    return counts[std::uniform_int_distribution<std::size_t>(0, std::size(counts) - 1)(random)];
}

ModelState random_state(Random& random) {
    ModelState m;
    m.num_maps = random_count(random);
    m.num_stocks = random_count(random);
    for (int s = 1; s <= model::max_maps; ++s) {
        for (int k = 1; k <= model::max_stocks; ++k) {
            m.R(s, k) = random_cell(random);
            m.la1(s, k) = random_cell(random);
            m.la2(s, k) = random_value(random);
        }
        m.prob(s) = random_value(random);
    }
    return m;
}

// The loaded value is the saved one up to the digits its precision writes.
bool reads_back(RealCell saved, double loaded) {
    const double digits = saved.precision() == Precision::single_precision ? 5e-7 : 5e-15;
    return std::fabs(loaded - saved.value()) <=
           std::max(std::fabs(saved.value()) * digits, std::numeric_limits<double>::denorm_min());
}

TEST(Properties, SaveLoadSaveReproducesTheFile) {
    Random random(20240611);
    for (int round = 0; round < 500; ++round) {
        const ModelState saved = random_state(random);
        const std::string text = storage::parameter_file_text(saved);
        const storage::ReadOutcome read = storage::read_value_block(text);
        ASSERT_TRUE(read.parameters.has_value()) << read.reason << "\n" << text;
        ModelState loaded;
        storage::apply_parameters(loaded, *read.parameters);
        ASSERT_EQ(storage::parameter_file_text(loaded), text) << "round " << round;
        for (int s = 1; s <= saved.maps_in_tables(); ++s) {
            for (int k = 1; k <= saved.stocks_in_tables(); ++k) {
                EXPECT_TRUE(reads_back(saved.R(s, k), loaded.R(s, k).value()))
                    << model::general_text(saved.R(s, k));
                EXPECT_TRUE(reads_back(saved.la1(s, k), loaded.la1(s, k).value()));
                EXPECT_TRUE(reads_back(RealCell::of_double(saved.la2(s, k)), loaded.la2(s, k)));
            }
            EXPECT_TRUE(reads_back(RealCell::of_double(saved.prob(s)), loaded.prob(s)));
        }
    }
}

// A folder of the test's own below the temporary folder, removed with its files when the test
// ends, passed or failed.
class TemporaryFolder {
  public:
    TemporaryFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("quobel-properties-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

TEST(Properties, SaveLoadSaveThroughFiles) {
    const TemporaryFolder folder;
    const std::string name = folder.file("maps_data.txt");
    Random random(7);
    for (int round = 0; round < 5; ++round) {
        const ModelState saved = random_state(random);
        ASSERT_TRUE(storage::save_parameter_file(saved, name).ok);
        ModelState loaded;
        const storage::FileOutcome outcome = storage::load_parameter_file(loaded, name);
        ASSERT_TRUE(outcome.ok) << outcome.reason;
        EXPECT_EQ(storage::parameter_file_text(loaded), storage::parameter_file_text(saved));
    }
}

// Texts of saved values that once did not survive a load: the largest doubles rounded up to a
// 15-digit text beyond the largest double (read as 0, refused by a load), and single-precision
// values from 10^7 took an exponent form their reloaded doubles did not.
TEST(Properties, SavedTextsSurviveALoad) {
    EXPECT_EQ(model::general_text(largest), "1.79769313486231E+308");
    EXPECT_EQ(model::general_text(-largest), "-1.79769313486231E+308");
    EXPECT_EQ(model::general_text(largest, Precision::single_precision), "1.797693E+308");
    EXPECT_EQ(model::general_text(1.79769313486231e308), "1.79769313486231E+308");
    EXPECT_EQ(model::general_text(9.99999999999999999e307), "1E+308");
    EXPECT_EQ(model::file_number_text(-largest), "-1.79769313486231E+308 ");
    EXPECT_NE(model::parse_leading_number(model::three_decimals_text(largest)), 0.0);

    // A single-precision cell takes its exponent form where a double does, so a load (which
    // keeps doubles) does not change the text of a saved file.
    EXPECT_EQ(model::general_text(3.88611e13f, Precision::single_precision), "38861100000000");
    EXPECT_EQ(model::file_number_text(RealCell::of_single(-4.498737e9f)), "-4498737000 ");
    EXPECT_EQ(model::general_text(1.5e20f, Precision::single_precision), "1.5E+20");

    ModelState m;
    m.num_maps = 1;
    m.num_stocks = 1;
    m.R(1, 1) = RealCell::of_double(largest);
    m.prob(1) = -largest;
    const std::string text = storage::parameter_file_text(m);
    const storage::ReadOutcome read = storage::read_value_block(text);
    ASSERT_TRUE(read.parameters.has_value()) << read.reason;
    EXPECT_EQ(read.parameters->R(1, 1), 1.79769313486231e308);
}

// A loaded map count with more digits than the "Maps" field shows (3.000000000000001 shows as 3),
// while the field already shows 3: the field's handler did not run, and the steps and graphs
// found no map while the field said 3.
TEST(Properties, LoadedMapCountIsTheOneTheFieldShows) {
    const TemporaryFolder folder;
    const std::string name = folder.file("map_count.txt");
    std::ofstream(name)
        << " 3.000000000000001 \r\n 1 \r\n"
        << " .5 \r\n .5 \r\n .5 \r\n .5 \r\n .5 \r\n .5 \r\n .5 \r\n .5 \r\n .5 \r\n"
        << " .2 \r\n .3 \r\n .5 \r\n";
    Program program;
    RecordingMainWindow& window = program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.set_file_name_text(name);
    form2.click_load();

    EXPECT_EQ(form2.loaded_word, "Loaded");
    EXPECT_EQ(window.field_text(Field::Text9, 0), "3");
    EXPECT_EQ(program.state.model.num_maps, 3.0);
    // As after any change of the field to 3, the probabilities are 0.3, 0.3, 0.4.
    EXPECT_EQ(program.state.model.prob(3), 0.4);
    window.click(MainButton::Command3);
    EXPECT_EQ(window.notice, "");
    EXPECT_EQ(window.surface.lines.size(), 2u);
}

// Positive shares of n components that add up to 1 in the cells' precision.
template <class Store>
void fill_normalised(Random& random, int n, Store store) {
    std::uniform_real_distribution<double> share(0.001, 1.0);
    double parts[model::max_stocks]{};
    double sum = 0;
    for (int j = 0; j < n; ++j) {
        parts[j] = share(random);
        sum += parts[j];
    }
    for (int j = 0; j < n; ++j) {
        store(j + 1, parts[j] / sum);
    }
}

bool within_rounding(double before, double after, Precision precision) {
    const double epsilon = precision == Precision::single_precision
                               ? std::numeric_limits<float>::epsilon()
                               : std::numeric_limits<double>::epsilon();
    return std::fabs(after - before) <= 8 * epsilon * std::fabs(before);
}

TEST(Properties, RecalculateWithoutEditsKeepsANormalisedState) {
    Random random(99);
    for (int round = 0; round < 300; ++round) {
        Program program;
        RecordingMainWindow& window = program.start();
        ModelState& m = program.state.model;
        m.num_maps = std::uniform_int_distribution<int>(1, 3)(random);
        m.num_stocks = std::uniform_int_distribution<int>(1, 4)(random);
        const int stocks = m.stocks_in_tables();
        const bool single = std::uniform_int_distribution<int>(0, 1)(random) == 0;
        const auto cell = [single](double v) {
            return single ? RealCell::of_single(static_cast<float>(v)) : RealCell::of_double(v);
        };
        // Recalculation renormalises the stock vectors of all three maps the window shows.
        for (int s = 1; s <= windows::window_maps; ++s) {
            fill_normalised(random, stocks, [&](int k, double v) { m.R(s, k) = cell(v); });
            fill_normalised(random, stocks, [&](int k, double v) { m.la1(s, k) = cell(v); });
            fill_normalised(random, stocks, [&](int k, double v) { m.la2(s, k) = v; });
        }
        fill_normalised(random, m.maps_in_tables(), [&](int s, double v) { m.prob(s) = v; });
        program.state.pending.clear_flags(model::max_maps, model::max_stocks);
        const ModelState before = m;

        window.click(MainButton::Command2);

        const Precision cells = single ? Precision::single_precision : Precision::double_precision;
        for (int s = 1; s <= windows::window_maps; ++s) {
            for (int k = 1; k <= stocks; ++k) {
                EXPECT_TRUE(within_rounding(before.R(s, k).value(), m.R(s, k).value(), cells))
                    << "R(" << s << "," << k << ") round " << round;
                EXPECT_TRUE(within_rounding(before.la1(s, k).value(), m.la1(s, k).value(), cells));
                EXPECT_TRUE(
                    within_rounding(before.la2(s, k), m.la2(s, k), Precision::double_precision));
            }
        }
        for (int s = 1; s <= m.maps_in_tables(); ++s) {
            EXPECT_TRUE(within_rounding(before.prob(s), m.prob(s), Precision::double_precision));
            EXPECT_EQ(program.state.pending.edited_prob(s), 0);
        }
    }
}

}  // namespace
}  // namespace quobel::testing
