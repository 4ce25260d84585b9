// Tests of the sweep: parameter names, the renormalised point parameters, the grid, the verdict
// plane on a case with a known boundary, and rows that do not depend on threads or shards.
#include "sweep/sweep.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "analysis/ensemble.hpp"
#include "analysis_models.hpp"
#include "model/number_text.hpp"
#include "support/recording_windows.hpp"
#include "sweep/sweep_csv.hpp"

namespace quobel::testing {
namespace {

using analysis::Verdict;
using model::RealCell;
using sweep::ParameterName;
using Table = ParameterName::Table;

TEST(ParameterNames, ReadAsTheListingWritesThem) {
    EXPECT_EQ(sweep::parse_parameter_name("R(2,3)"), (ParameterName{Table::R, 2, 3}));
    EXPECT_EQ(sweep::parse_parameter_name("la1( 1 , 2 )"), (ParameterName{Table::la1, 1, 2}));
    EXPECT_EQ(sweep::parse_parameter_name("la2(3,1)"), (ParameterName{Table::la2, 3, 1}));
    EXPECT_EQ(sweep::parse_parameter_name("prob( 2 )"), (ParameterName{Table::prob, 2, 0}));
    for (const char* bad :
         {"R(2)", "prob(1,2)", "r(1,1)", "la3(1,1)", "R(1,x)", "R 1,1", "R(1,1"}) {
        EXPECT_FALSE(sweep::parse_parameter_name(bad)) << bad;
    }
    EXPECT_EQ(sweep::parameter_name_text({Table::la2, 3, 1}), "la2(3,1)");
}

TEST(ParameterNames, OnlyComponentsThatRecalculationRenormalisesCanBeVaried) {
    model::ModelState model;
    model.num_maps = 4;
    model.num_stocks = 2;
    EXPECT_EQ(sweep::missing_parameter(model, {Table::R, 3, 2}), "");
    EXPECT_EQ(sweep::missing_parameter(model, {Table::prob, 4, 0}), "");
    EXPECT_NE(sweep::missing_parameter(model, {Table::R, 4, 1}), "");  // beyond the window's maps
    EXPECT_NE(sweep::missing_parameter(model, {Table::la1, 1, 3}), "");
    EXPECT_NE(sweep::missing_parameter(model, {Table::prob, 5, 0}), "");
    EXPECT_NE(sweep::missing_parameter(model, {Table::la2, 0, 1}), "");
}

// Each grid value is the double nearest to the decimal FROM + i (TO - FROM) / (COUNT - 1), the
// decimals as typed. The expectations are the decimals themselves, or (where marked) the nearest
// doubles worked out with exact fractions.
TEST(Axes, ValuesAreTheDoublesNearestToTheDecimalGridPoints) {
    const auto values = [](const char* text) {
        const auto read = sweep::parse_axis(text);
        std::vector<double> out;
        for (std::int64_t i = 0; read.axis && i < read.axis->count; ++i) {
            out.push_back(read.axis->value(i));
        }
        return out;
    };
    EXPECT_EQ(values("R(1,1)=0.1:0.9:5"), (std::vector<double>{0.1, 0.3, 0.5, 0.7, 0.9}));
    // 0.1 + (0.2 - 0.1) / 2 in doubles is 0.15000000000000002.
    EXPECT_EQ(values("R(1,1)=0.1:0.2:3")[1], 0.15);
    EXPECT_EQ(values("R(1,1)=0:1:4"), (std::vector<double>{0, 1.0 / 3, 2.0 / 3, 1}));
    EXPECT_EQ(values("R(1,1)=-0.3:0.3:3")[1], 0.0);

    // TO - FROM overflows here; the points do not.
    EXPECT_EQ(values("la1(1,1)=-1e308:1e308:3"), (std::vector<double>{-1e308, 0, 1e308}));
    const std::vector<double> wide = values("la1(1,1)=-1e308:1e307:7");
    EXPECT_EQ(wide[3], -4.5e307);
    EXPECT_TRUE(std::all_of(wide.begin(), wide.end(), [](double v) { return std::isfinite(v); }));

    // Numerators beyond 2^53, exponents far apart, subnormals: by exact fractions.
    EXPECT_EQ(values("R(1,1)=1e-300:1e300:3")[1], 5e299);
    EXPECT_EQ(values("R(1,1)=1.5e-323:1e-308:3")[1], 5.00000000000001e-309);
    EXPECT_EQ(values("R(1,1)=123456789.123456789:987654321.987654321:7")[2], 411522633.4115226);
    EXPECT_EQ(values("R(1,1)=1e-320:3e-320:4")[1], 1.6665e-320);
    EXPECT_EQ(values("R(1,1)=-5e-324:5e-324:5")[1], -5e-324);
}

// A NaN's sign bit means nothing, and outputs that differ in it alone would not compare equal.
TEST(SweepCsv, NumbersHaveOneSpellingOfEachNonFiniteValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(sweep::number_text(std::copysign(nan, -1.0)), "nan");
    EXPECT_EQ(sweep::number_text(std::copysign(nan, 1.0)), "nan");
    EXPECT_EQ(sweep::number_text(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(sweep::number_text(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(sweep::number_text(-0.25), "-0.25");
}

TEST(Axes, ReachBothEndsExactly) {
    const auto read = sweep::parse_axis("la1(1,2)=0.1:0.7:4");
    ASSERT_TRUE(read.axis) << read.reason;
    EXPECT_EQ(read.axis->value(0), 0.1);
    EXPECT_EQ(read.axis->value(3), 0.7);
    EXPECT_NEAR(read.axis->value(1), 0.3, 1e-15);
    EXPECT_EQ(sweep::parse_axis("prob(1)=0.2:0.9:1").axis->value(0), 0.2);
    for (const char* bad : {"R(1,1)", "R(1,1)=0:1", "R(1,1)=0:1:0", "R(1,1)=a:1:3",
                            "R(1,1)=0:1:2.5", "X(1,1)=0:1:3", "R(1,1)=0:1e999:3"}) {
        const auto refused = sweep::parse_axis(bad);
        EXPECT_FALSE(refused.axis) << bad;
        EXPECT_NE(refused.reason, "") << bad;
    }
}

// The checks that the command line and the Sweep window share, with the limits each sets.
TEST(SweepProblems, ComeInOrderAndWithinTheGivenLimits) {
    using Kind = sweep::SweepProblem::Kind;
    model::ModelState model;
    model.num_maps = 2;
    model.num_stocks = 2;
    const sweep::Axis r11{{Table::R, 1, 1}, 0, 1, 10};
    const sweep::Axis prob1{{Table::prob, 1, 0}, 0, 1, 10};
    const sweep::Axis r33{{Table::R, 3, 3}, 0, 1, 10};
    const auto kind = [&](std::vector<sweep::Axis> axes, const model::ModelState* in,
                          sweep::SweepLimits limits = {}) {
        sweep::SweepSettings settings;
        settings.axes = std::move(axes);
        return sweep::sweep_problem(in, settings, limits).kind;
    };
    EXPECT_EQ(kind({r11, prob1}, &model), Kind::none);
    EXPECT_EQ(kind({}, &model), Kind::axes);
    EXPECT_EQ(kind({r11, prob1, r11}, &model), Kind::axes);
    // A component the model lacks is only found with the model at hand, and before the range.
    EXPECT_EQ(kind({r33}, nullptr), Kind::none);
    EXPECT_EQ(kind({{r33.name, 0, std::nan(""), 0}}, &model), Kind::missing_parameter);
    EXPECT_EQ(kind({{r11.name, 0, std::nan(""), 0}}, &model), Kind::range_not_finite);
    EXPECT_EQ(kind({{r11.name, -INFINITY, 1, 3}}, nullptr), Kind::range_not_finite);
    EXPECT_EQ(kind({{r11.name, 0, 1, 0}}, nullptr), Kind::too_many_values);
    EXPECT_EQ(kind({r11, r11}, nullptr), Kind::same_parameter);
    // A line may be longer than a plane's sides; the grid has its own limit.
    const sweep::SweepLimits small{10, 5, 20};
    EXPECT_EQ(kind({r11}, nullptr, small), Kind::none);
    const auto problem = [&](std::vector<sweep::Axis> axes) {
        sweep::SweepSettings settings;
        settings.axes = std::move(axes);
        return sweep::sweep_problem(nullptr, settings, small);
    };
    const auto long_side = problem({{prob1.name, 0, 1, 4}, r11});
    EXPECT_EQ(long_side.kind, Kind::too_many_values);
    EXPECT_EQ(long_side.axis, 1U);
    EXPECT_EQ(long_side.limit, 5);
    const auto big = problem({{r11.name, 0, 1, 5}, {prob1.name, 0, 1, 5}});
    EXPECT_EQ(big.kind, Kind::too_many_points);
    EXPECT_EQ(big.limit, 20);
    EXPECT_FALSE(problem({{r11.name, 0, 1, 5}, {prob1.name, 0, 1, 4}}));
}

TEST(Shards, CoverTheGridOnceInContiguousBlocks) {
    for (std::int64_t size : {1, 2, 7, 100}) {
        for (std::int64_t shards : {1, 3, 8}) {
            std::int64_t covered = 0;
            for (std::int64_t i = 1; i <= shards; ++i) {
                const auto [first, last] = sweep::shard_range(size, i, shards);
                EXPECT_EQ(first, covered);
                EXPECT_LE(last - first, (size + shards - 1) / shards);
                covered = last;
            }
            EXPECT_EQ(covered, size);
        }
    }
}

// A started program: three maps, four stocks, shares drawn in single precision.
struct PointParameters : ::testing::Test {
    Program program;
    RecordingMainWindow& window = program.start();
    model::ModelState& model = program.state.model;
};

TEST_F(PointParameters, AreWhatRecalculateMakesOfTheOneEdit) {
    struct Case {
        ParameterName name;
        Field field;
        int index;
        double value;
    };
    for (const Case& c : {Case{{Table::R, 2, 3}, Field::Text5, 2, 0.37},
                          Case{{Table::la1, 3, 1}, Field::Text11, 0, 0.9},
                          Case{{Table::la2, 1, 4}, Field::Text3, 3, -0.25},
                          Case{{Table::prob, 2, 0}, Field::Text8, 1, 0.125}}) {
        model::ModelState swept = model;
        ASSERT_TRUE(sweep::set_parameters(swept, {{c.name, c.value}}));
        window.type(c.field, c.index, sweep::number_text(c.value));
        window.click(MainButton::Command2);
        for (int j = 1; j <= 4; ++j) {
            const int s = c.name.table == Table::prob ? j : c.name.map;
            if (c.name.table == Table::prob && j > 3) {
                break;
            }
            const auto value = [&](const model::ModelState& m) {
                switch (c.name.table) {
                    case Table::R:
                        return m.R(s, j).value();
                    case Table::la1:
                        return m.la1(s, j).value();
                    case Table::la2:
                        return m.la2(s, j);
                    case Table::prob:
                        break;
                }
                return m.prob(j);
            };
            EXPECT_EQ(value(swept), value(model)) << sweep::parameter_name_text(c.name) << " " << j;
        }
        model = program.state.model;
    }
}

TEST(PointParametersByHand, KeepTheValueAndScaleTheRest) {
    model::ModelState model;
    model.num_maps = 1;
    model.num_stocks = 3;
    model.R(1, 1) = RealCell::of_double(0.2);
    model.R(1, 2) = RealCell::of_double(0.3);
    model.R(1, 3) = RealCell::of_double(0.5);
    ASSERT_TRUE(sweep::set_parameters(model, {{{Table::R, 1, 1}, 0.6}}));
    EXPECT_EQ(model.R(1, 1).value(), 0.6);
    EXPECT_NEAR(model.R(1, 2).value(), 0.15, 1e-16);  // 0.3 * 0.4 / 0.8
    EXPECT_NEAR(model.R(1, 3).value(), 0.25, 1e-16);
    // Two values in one vector are two edits of one recalculation: both kept.
    ASSERT_TRUE(sweep::set_parameters(model, {{{Table::R, 1, 1}, 0.5}, {{Table::R, 1, 3}, 0.25}}));
    EXPECT_EQ(model.R(1, 1).value(), 0.5);
    EXPECT_EQ(model.R(1, 2).value(), 0.25);
    EXPECT_EQ(model.R(1, 3).value(), 0.25);
    // Nothing left untouched to scale: no finite outcome, and the reason names the vector.
    model.R(1, 2) = RealCell::of_double(0);
    model.R(1, 3) = RealCell::of_double(0);
    const sweep::Applied applied = sweep::set_parameters(model, {{{Table::R, 1, 1}, 0.6}});
    EXPECT_FALSE(applied);
    EXPECT_EQ(applied.why_not,
              "R(1,1..3) cannot be renormalised with R(1,1) = 0.6: its other components add up to "
              "0, so they cannot share the rest of 1 in proportion (Recalculate !!! leaves such a "
              "vector as it was).");
}

using analysis::test_models::model_of;

// la1(1,2) = 0: la1(1,1) can take no value but its own, 1.
model::ModelState unrenormalisable() {
    return model_of({{{0.5, 0.5}, {1, 0}, {0.5, 0.5}}, {{0.3, 0.7}, {0.4, 0.6}, {0.5, 0.5}}},
                    {0.5, 0.5});
}

TEST(PointParametersByHand, TheFilesOwnValuesLeaveItAsItIs) {
    // R(1,·) adds up to 1.1 and la1(1,·) to 0.9: renormalising would change both.
    model::ModelState file =
        model_of({{{0.5, 0.6}, {0.375, 0.525}, {0.6, 0.4}}, {{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}}},
                 {0.5, 0.5}, true);
    model::ModelState model = file;
    const double own = model.la1(1, 2).value();
    ASSERT_TRUE(sweep::set_parameters(
        model, {{{Table::R, 1, 1}, model.R(1, 1).value()}, {{Table::la1, 1, 2}, own}}));
    EXPECT_EQ(model, file);
    // One value that differs renormalises every vector holding a value, as Recalculate does.
    ASSERT_TRUE(sweep::set_parameters(
        model, {{{Table::R, 1, 1}, model.R(1, 1).value()}, {{Table::la1, 1, 2}, 0.5}}));
    EXPECT_EQ(model.R(1, 1).value(), 0.5);
    EXPECT_DOUBLE_EQ(model.R(1, 2).value(), 0.5);
    EXPECT_EQ(model.la1(1, 2).value(), 0.5);
    EXPECT_DOUBLE_EQ(model.la1(1, 1).value(), 0.5);

    // A vector that has no renormalisation but already holds its value stays as Recalculate
    // leaves it, while the other vector takes its value.
    model = unrenormalisable();
    ASSERT_TRUE(
        sweep::set_parameters(model, {{{Table::la1, 1, 1}, 1}, {{Table::prob, 1, 0}, 0.2}}));
    EXPECT_EQ(model.la1(1, 1).value(), 1);
    EXPECT_EQ(model.la1(1, 2).value(), 0);
    EXPECT_DOUBLE_EQ(model.prob(2), 0.8);
}

// A plane over the vector that cannot be renormalised and another that can: its points are
// computed from the vectors worked out once per axis value, and must say what a point's own
// recalculation says.
TEST(PointParametersByHand, PointsWithoutARenormalisationAreNotDefinedAndSayWhy) {
    const model::ModelState model = unrenormalisable();
    sweep::SweepSettings settings;
    settings.axes = {{{Table::la1, 1, 1}, 0, 1, 3}, {{Table::prob, 1, 0}, 0.5, 0.7, 2}};
    settings.run.steps = 0;
    std::vector<sweep::PointResult> points;
    sweep::SweepControl control;
    sweep::run_sweep(model, settings, 0, 6, 2, control,
                     [&](const sweep::PointResult& point) { points.push_back(point); });
    ASSERT_EQ(points.size(), 6U);
    for (const sweep::PointResult& point : points) {
        const auto alone = sweep::point_model(model, settings, point.index);
        EXPECT_EQ(point.applied, alone.has_value()) << point.index;
        if (!point.applied) {
            EXPECT_TRUE(std::isnan(point.lambda_0) && std::isnan(point.lambda_1));
            EXPECT_EQ(point.verdict, Verdict::not_defined);
            ASSERT_EQ(point.flags.size(), 1U);
            EXPECT_THAT(point.flags[0], ::testing::StartsWith(
                                            "la1(1,1..2) cannot be renormalised with la1(1,1) = " +
                                            model::general_text(point.values[0]) + ": its other"));
            continue;
        }
        // la1(1,1) = 1 is its own value: prob alone changes.
        EXPECT_EQ(point.values[0], 1);
        const analysis::BoundaryExponents exponents = analysis::boundary_exponents(*alone);
        EXPECT_EQ(point.lambda_0, exponents.lambda_0);
        EXPECT_EQ(point.lambda_1, exponents.lambda_1);
        // The infinite slope of map 1 at r = 1 is the one flag.
        ASSERT_EQ(point.flags.size(), 1U);
        EXPECT_EQ(point.flags[0], exponents.flags.at(0).text);
        EXPECT_THAT(point.flags[0], ::testing::HasSubstr("infinite slope at r = 1"));
    }
    EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const auto& p) { return p.applied; }),
              2);
    // In the CSV the flags are one last field, quoted for their commas.
    EXPECT_THAT(sweep::header_line(settings), ::testing::EndsWith(",verdict,flags\n"));
    EXPECT_EQ(sweep::row_line(settings, points[0]),
              "0,0.5,nan,nan,not defined,\"" + points[0].flags[0] + "\"\n");
    sweep::PointResult two_flags = points[5];
    two_flags.flags = {"a \"b\"", "c"};
    EXPECT_THAT(sweep::row_line(settings, two_flags), ::testing::EndsWith(",\"a \"\"b\"\"; c\"\n"));
    two_flags.flags.clear();
    EXPECT_THAT(sweep::row_line(settings, two_flags), ::testing::EndsWith("both survive,\n"));
}

using analysis::test_models::arrow_lambda_0;
using analysis::test_models::arrow_securities;

sweep::SweepSettings arrow_plane(std::int64_t count) {
    sweep::SweepSettings settings;
    settings.axes = {{{Table::la1, 1, 1}, 0.05, 0.95, count},
                     {{Table::la1, 2, 1}, 0.05, 0.95, count}};
    settings.run.steps = 0;
    return settings;
}

TEST(Atlas, ArrowSecuritiesChangeVerdictWhereTheDivergencesAreEqual) {
    const model::ModelState model = arrow_securities();
    const sweep::SweepSettings settings = arrow_plane(19);
    sweep::SweepControl control;
    std::int64_t points = 0;
    sweep::run_sweep(model, settings, 0, sweep::grid_size(settings), 2, control,
                     [&](const sweep::PointResult& point) {
                         EXPECT_EQ(point.index, points++);
                         const double x = point.values[0];
                         const double y = point.values[1];
                         const double expected = arrow_lambda_0(x, y);
                         EXPECT_NEAR(point.lambda_0, expected, 1e-14);
                         EXPECT_NEAR(point.lambda_1, -expected, 1e-14);
                         // The sweep works each axis' vectors out once; a point's own
                         // recalculation gives the very same parameters.
                         const auto alone = sweep::point_model(model, settings, point.index);
                         ASSERT_TRUE(alone);
                         EXPECT_EQ(point.lambda_0, analysis::boundary_exponents(*alone).lambda_0);
                         if (std::abs(expected) > 1e-9) {
                             EXPECT_EQ(point.verdict, expected > 0 ? Verdict::investor_1_takes_over
                                                                   : Verdict::investor_2_takes_over)
                                 << x << " " << y;
                         }
                     });
    EXPECT_EQ(points, 19 * 19);

    // On the diagonal investor 1 takes over exactly for a between 0.4 and the other root of
    // KL(p||(a, 1 - a)) = KL(p||(b, 1 - b)), near 0.7795 (0.6 log(a / 0.4) = 0.4 log(0.6 / (1 -
    // a))).
    const auto diagonal_verdict = [&](double a) {
        model::ModelState point = model;
        EXPECT_TRUE(
            sweep::set_parameters(point, {{{Table::la1, 1, 1}, a}, {{Table::la1, 2, 1}, a}}));
        return analysis::boundary_exponents(point).verdict;
    };
    EXPECT_EQ(diagonal_verdict(0.39), Verdict::investor_2_takes_over);
    EXPECT_EQ(diagonal_verdict(0.4), Verdict::no_selection);
    EXPECT_EQ(diagonal_verdict(0.41), Verdict::investor_1_takes_over);
    EXPECT_EQ(diagonal_verdict(0.779), Verdict::investor_1_takes_over);
    EXPECT_EQ(diagonal_verdict(0.780), Verdict::investor_2_takes_over);
}

TEST(SweepFiles, TheSettingsFileIsNamedAfterTheCsv) {
    EXPECT_EQ(sweep::settings_file_name("sweep.csv"), "sweep.json");
    EXPECT_EQ(sweep::settings_file_name("runs/part-1.csv"), "runs/part-1.json");
    EXPECT_EQ(sweep::settings_file_name("sweep"), "sweep.json");
    EXPECT_EQ(sweep::settings_file_name("sweep.csv.old"), "sweep.csv.old.json");
    EXPECT_EQ(sweep::settings_file_name("sweep.CSV"), "sweep.CSV.json");
    EXPECT_FALSE(sweep::takes_settings_file("-"));
    EXPECT_FALSE(sweep::takes_settings_file("/dev/stdout"));
    EXPECT_FALSE(sweep::takes_settings_file("/dev/null"));
}

// A sweep's two files: the settings file and the CSV.
struct SweepFiles {
    std::optional<std::string> settings;  // none where a shard has no settings file
    std::string csv;
    bool operator==(const SweepFiles&) const = default;
};

// A shard's files in memory, or its CSV's first lines followed by `filler_size` bytes of one
// character that need never be held; it counts what a merge reads and how many shards it holds
// at once.
class TestShard final : public sweep::ShardText {
  public:
    struct Reading {
        int open = 0;
        int most_open = 0;
    };

    TestShard(std::string name, SweepFiles files, Reading* reading = nullptr,
              std::uint64_t filler_size = 0, char filler = 'x')
        : ShardText(std::move(name)),
          settings_text(std::move(files.settings)),
          text(std::move(files.csv)),
          filler_size(filler_size),
          filler(filler),
          reading_(reading) {}

    std::size_t read_at(std::uint64_t offset, std::span<char> buffer) override {
        if (!open_ && reading_ != nullptr) {
            open_ = true;
            reading_->most_open = std::max(reading_->most_open, ++reading_->open);
        }
        if (unreadable) {
            throw sweep::MergeFailure("Cannot read \"" + name() + "\": Input/output error.");
        }
        const std::uint64_t size = text.size() + filler_size;
        std::size_t given = 0;
        for (; given < buffer.size() && offset + given < size; ++given) {
            const std::uint64_t at = offset + given;
            buffer[given] = at < text.size() ? text[at] : filler;
        }
        bytes_read += given;
        return given;
    }

    std::string settings() override {
        if (!settings_text) {
            throw sweep::MergeFailure(name() + " has no settings file.");
        }
        return *settings_text;
    }

    void release() override {
        if (open_) {
            open_ = false;
            --reading_->open;
        }
    }

    std::optional<std::string> settings_text;
    std::string text;
    std::uint64_t filler_size;
    char filler;
    bool unreadable = false;
    std::uint64_t bytes_read = 0;

  private:
    Reading* reading_;
    bool open_ = false;
};

// The merged files of the shards, given as (name, files), or the reason they were refused.
sweep::MergeCheck merged(const std::vector<std::pair<std::string, SweepFiles>>& given,
                         SweepFiles& files) {
    std::vector<std::unique_ptr<TestShard>> shards;
    std::vector<sweep::ShardText*> pointers;
    for (const auto& [name, shard_files] : given) {
        shards.push_back(std::make_unique<TestShard>(name, shard_files));
        pointers.push_back(shards.back().get());
    }
    sweep::MergeCheck checked = sweep::check_shards(pointers);
    files = {};
    if (checked.plan) {
        files.settings = checked.plan->settings;
        sweep::write_merged(*checked.plan,
                            [&files](std::string_view piece) { files.csv += piece; });
    }
    return checked;
}

// A sweep's files with its header and no rows.
SweepFiles no_rows(const model::ModelState& model, const sweep::SweepSettings& settings,
                   std::int64_t first, std::int64_t last) {
    return {sweep::settings_json(model, settings, first, last), sweep::header_line(settings)};
}

// The sweep's files, from the points [first, last) on `threads` threads.
SweepFiles sweep_files(const model::ModelState& model, const sweep::SweepSettings& settings,
                       std::int64_t first, std::int64_t last, int threads) {
    SweepFiles files = no_rows(model, settings, first, last);
    sweep::SweepControl control;
    EXPECT_TRUE(sweep::run_sweep(
        model, settings, first, last, threads, control,
        [&](const sweep::PointResult& point) { files.csv += sweep::row_line(settings, point); }));
    EXPECT_EQ(control.points_done.load(), last - first);
    return files;
}

// A line along `axis` with runs of `steps` steps after a burn-in of 100.
sweep::SweepSettings line_of(const sweep::Axis& axis, std::int64_t steps, int bins) {
    sweep::SweepSettings settings;
    settings.axes = {axis};
    settings.run.steps = steps;
    settings.run.burn_in = 100;
    settings.run.bins = bins;
    return settings;
}

TEST_F(PointParameters, RowsAreTheSameOnAnyThreadsAndInAnyShards) {
    // More points than one block of runs holds: threads and shards cut the grid into blocks of
    // other sizes and at other places.
    const sweep::SweepSettings settings = line_of({{Table::R, 1, 2}, 0.1, 0.6, 151}, 400, 5);
    const std::int64_t size = sweep::grid_size(settings);
    const SweepFiles whole = sweep_files(model, settings, 0, size, 1);
    EXPECT_EQ(std::count(whole.csv.begin(), whole.csv.end(), '\n'), 1 + size);
    for (const int threads : {2, 3, 7}) {
        EXPECT_EQ(sweep_files(model, settings, 0, size, threads), whole) << threads;
    }
    std::vector<std::pair<std::string, SweepFiles>> shards;
    for (int i = 5; i >= 1; --i) {  // in any order
        const auto [first, last] = sweep::shard_range(size, i, 5);
        shards.emplace_back("shard " + std::to_string(i),
                            sweep_files(model, settings, first, last, 1 + i % 3));
    }
    SweepFiles files;
    const sweep::MergeCheck checked = merged(shards, files);
    ASSERT_TRUE(checked.plan) << checked.reason;
    EXPECT_EQ(files, whole);
}

TEST_F(PointParameters, EachPointRunsAsTheChainOfItsIndex) {
    sweep::SweepSettings settings = line_of({{Table::la1, 2, 1}, 0.2, 0.8, 4}, 3000, 4);
    settings.run.seed = 5;
    settings.start = 0.3;
    // The second sweep fills the results the first one left in the memory again.
    sweep::RunMemory memory;
    std::vector<sweep::PointResult> points;
    for (int sweeps = 0; sweeps < 2; ++sweeps) {
        points.clear();
        sweep::SweepControl control;
        control.memory = &memory;
        ASSERT_TRUE(
            sweep::run_sweep(model, settings, 0, 4, 2, control,
                             [&](const sweep::PointResult& point) { points.push_back(point); }));
    }
    EXPECT_FALSE(memory.take().empty());
    ASSERT_EQ(points.size(), 4U);
    for (std::int64_t i = 0; i < 4; ++i) {
        const sweep::PointResult& point = points[static_cast<std::size_t>(i)];
        EXPECT_EQ(point.index, i);
        const std::optional<model::ModelState> parameters = sweep::point_model(model, settings, i);
        ASSERT_TRUE(parameters);
        const analysis::LongRun run(*parameters, 0.3, settings.run);
        analysis::LongRunResult alone;
        const analysis::ChainTask task{
            .run = &run, .chain = static_cast<std::uint64_t>(i), .result = &alone};
        analysis::LongRunControl run_control;
        analysis::run_chains({&task, 1}, run_control);
        EXPECT_EQ(point.mean_r, alone.mean_r) << i;
        EXPECT_EQ(point.mean_r_error, alone.mean_r_error) << i;
        EXPECT_EQ(point.lyapunov, alone.lyapunov) << i;
        EXPECT_EQ(point.lyapunov_error, alone.lyapunov_error) << i;
        EXPECT_EQ(point.density, alone.density()) << i;
        // Point 0 is the run of the seed itself.
        if (i == 0) {
            EXPECT_EQ(point.mean_r, run.run(run_control).mean_r);
        }
    }
}

TEST_F(PointParameters, MergeRefusesShardsThatDoNotCoverTheGridOnce) {
    sweep::SweepSettings settings;
    settings.axes = {{{Table::prob, 1, 0}, 0.1, 0.9, 6}};
    settings.run.steps = 0;
    const auto shard = [&](std::int64_t first, std::int64_t last) {
        return sweep_files(model, settings, first, last, 1);
    };
    const auto refused = [](std::vector<std::pair<std::string, SweepFiles>> shards) {
        SweepFiles files;
        const sweep::MergeCheck checked = merged(shards, files);
        EXPECT_NE(checked.reason, "");
        return !checked.plan;
    };
    EXPECT_TRUE(refused({{"a", shard(0, 3)}}));                      // a gap at the end
    EXPECT_TRUE(refused({{"a", shard(0, 4)}, {"b", shard(3, 6)}}));  // an overlap
    EXPECT_TRUE(refused({{"a", shard(0, 3)}, {"b", shard(0, 3)}, {"c", shard(3, 6)}}));
    SweepFiles cut = shard(3, 6);
    cut.csv.resize(cut.csv.size() - 5);
    EXPECT_TRUE(refused({{"a", shard(0, 3)}, {"b", cut}}));  // a shard cut short
    sweep::SweepSettings other = settings;
    other.run.seed = 2;
    SweepFiles other_seed = shard(3, 6);
    other_seed.settings = sweep::settings_json(model, other, 3, 6);  // the same rows
    EXPECT_TRUE(refused({{"a", shard(0, 3)}, {"b", other_seed}}));
    model::ModelState other_model = model;
    other_model.la2(1, 1) += 0x1p-40;  // the settings name the parameters too
    EXPECT_TRUE(refused({{"a", shard(0, 3)}, {"b", sweep_files(other_model, settings, 3, 6, 1)}}));
    EXPECT_TRUE(refused({{"a", {shard(0, 3).settings, "step,map,r\n0,1,0.5\n"}}}));
    SweepFiles without_settings = shard(3, 6);
    without_settings.settings.reset();
    EXPECT_TRUE(refused({{"a", shard(0, 3)}, {"b", without_settings}}));
}

// A merge reads a shard's settings file and header before the rest, and the rest only once every
// shard's agree, a piece at a time and one shard at a time.
TEST_F(PointParameters, MergeReadsAShardNoFurtherThanItsChecksNeed) {
    sweep::SweepSettings settings;
    settings.axes = {{{Table::prob, 1, 0}, 0.1, 0.9, 6}};
    settings.run.steps = 0;
    const SweepFiles head_3_6 = no_rows(model, settings, 3, 6);
    const auto with_rows = [](SweepFiles files, std::string_view rows) {
        files.csv += rows;
        return files;
    };
    constexpr std::uint64_t large = std::uint64_t{8} << 20;
    constexpr std::uint64_t piece = std::uint64_t{1} << 16;
    TestShard::Reading reading;
    const auto check = [&](std::vector<TestShard*> shards) {
        return sweep::check_shards(std::vector<sweep::ShardText*>(shards.begin(), shards.end()))
            .reason;
    };
    TestShard first("first", sweep_files(model, settings, 0, 3, 1), &reading);

    TestShard junk("junk", {head_3_6.settings, ""}, &reading, large);
    EXPECT_EQ(check({&junk}),
              "junk: not a sweep file of quobel-cli (its first line is not a sweep's header).");
    EXPECT_LE(junk.bytes_read, piece);

    // A header that never ends is read up to a bound, not to the end of the text.
    TestShard endless("endless", {head_3_6.settings, "\"la1(1,1)\",lambda_0"}, &reading, large);
    EXPECT_EQ(check({&first, &endless}),
              "endless: not a sweep file of quobel-cli (its first line is not a sweep's header).");
    EXPECT_LT(endless.bytes_read, large / 4);

    // Without its settings file, or with one that is not a sweep's, a shard is not read at all.
    TestShard alone("alone", {std::nullopt, head_3_6.csv}, &reading, large, '\n');
    EXPECT_EQ(check({&first, &alone}), "alone has no settings file.");
    EXPECT_EQ(alone.bytes_read, 0U);
    TestShard cut_settings("cut settings", head_3_6, &reading, large, '\n');
    cut_settings.settings_text->resize(cut_settings.settings_text->size() - 2);
    EXPECT_EQ(check({&first, &cut_settings}),
              "cut settings: its settings file is not a sweep's: it does not end with the points "
              "it holds.");

    // Millions of rows behind settings that do not fit are never read.
    sweep::SweepSettings other = settings;
    other.run.seed = 2;
    TestShard other_seed("other", no_rows(model, other, 3, 6), &reading, large, '\n');
    EXPECT_EQ(check({&first, &other_seed}), "other: its settings differ from those of first.");
    EXPECT_LE(other_seed.bytes_read, piece);
    TestShard after_gap("after gap", no_rows(model, settings, 4, 6), &reading, large, '\n');
    EXPECT_EQ(check({&after_gap, &first}), "no shard holds the points [3,4) of the grid.");
    EXPECT_LE(after_gap.bytes_read, piece);

    // Rows are counted to the end, without holding them.
    TestShard too_many("too many", head_3_6, &reading, large, '\n');
    EXPECT_EQ(check({&first, &too_many}),
              "too many: it holds " + std::to_string(large) + " rows for 3 points.");
    TestShard cut("cut", with_rows(head_3_6, "0.5,0,0,both survive\n"), &reading, large);
    EXPECT_EQ(check({&first, &cut}), "cut: its last row is incomplete.");
    TestShard unreadable("unreadable", head_3_6, &reading);
    unreadable.unreadable = true;
    EXPECT_EQ(check({&first, &unreadable}), "Cannot read \"unreadable\": Input/output error.");
    EXPECT_EQ(reading.most_open, 1);
}

TEST_F(PointParameters, MergeStopsWhereAShardChangedAfterItWasChecked) {
    sweep::SweepSettings settings;
    settings.axes = {{{Table::R, 1, 1}, 0.1, 0.9, 4}};
    settings.run.steps = 0;
    TestShard first("first", sweep_files(model, settings, 0, 2, 1));
    TestShard second("second", sweep_files(model, settings, 2, 4, 1));
    for (const auto& change : {+[](std::string& text) { text.resize(text.size() - 3); },
                               +[](std::string& text) { text[text.size() - 4] = '\n'; }}) {
        const sweep::MergeCheck checked = sweep::check_shards({&second, &first});
        ASSERT_TRUE(checked.plan) << checked.reason;
        const std::string kept = second.text;
        change(second.text);
        std::string text;
        try {
            sweep::write_merged(*checked.plan, [&text](std::string_view piece) { text += piece; });
            ADD_FAILURE() << "a changed shard was merged";
        } catch (const sweep::MergeFailure& failure) {
            EXPECT_STREQ(failure.what(), "second: it changed while it was merged.");
        }
        second.text = kept;
    }
}

TEST_F(PointParameters, CancelStopsTheSweepEarly) {
    sweep::SweepSettings settings;
    settings.axes = {{{Table::R, 1, 1}, 0.1, 0.9, 50}};
    settings.run.steps = 10'000'000;
    sweep::SweepControl control;
    int emitted = 0;
    std::jthread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        control.runs.cancel = true;
    });
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(sweep::run_sweep(model, settings, 0, 50, 2, control,
                                  [&](const sweep::PointResult&) { ++emitted; }));
    // Ten million steps a point would take seconds on a loaded machine; the cancel ends it at once.
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
    EXPECT_LT(emitted, 50);
}

}  // namespace
}  // namespace quobel::testing
