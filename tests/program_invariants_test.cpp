// Tests of the state checks that the soak of the real windows and the event fuzzer share: each
// rule must catch the fault it names, and a sound state must pass.
#include "support/program_invariants.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/start_up.hpp"

namespace quobel::testing {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

model::ModelState started_model() {
    model::ModelState model;
    model::UniformGenerator random;
    model::initialise_model(model, random);
    return model;
}

TEST(ProgramInvariants, SoundStatesPass) {
    EXPECT_EQ(broken_model_rule(started_model()), "");
    EXPECT_EQ(broken_pending_rule(editing::PendingEdits{}), "");
}

TEST(ProgramInvariants, EachBrokenModelRuleIsNamed) {
    const model::ModelState sound = started_model();
    const auto broken = [&sound](auto change) {
        model::ModelState model = sound;
        change(model);
        return broken_model_rule(model);
    };
    EXPECT_EQ(broken([](auto& m) { m.num_maps = nan; }), "num_maps not finite");
    EXPECT_EQ(broken([](auto& m) { m.num_stocks = 11; }), "num_stocks beyond the tables");
    EXPECT_EQ(broken([](auto& m) { m.num_points = 99; }), "the graph resolution changed");
    EXPECT_EQ(broken([](auto& m) { m.current_r = model::RealCell::of_double(nan); }),
              "current_r not finite");
    EXPECT_EQ(broken([](auto& m) { m.prob(3) = std::numeric_limits<double>::infinity(); }),
              "prob(3) not finite");
    // Cells beyond the counts in use count as much as those in use.
    EXPECT_EQ(broken([](auto& m) { m.la2(10, 10) = nan; }), "non-finite table cell la2(10,10)");
}

TEST(ProgramInvariants, EachBrokenPendingRuleIsNamed) {
    editing::PendingEdits flag;
    flag.edited_la1(2, 7) = 2;
    EXPECT_EQ(broken_pending_rule(flag), "edit flag neither 0 nor 1: edited_la1(2,7) = 2");
    editing::PendingEdits value;
    value.new_R(1, 1) = -nan;
    EXPECT_EQ(broken_pending_rule(value), "non-finite table cell new_R(1,1)");
    editing::PendingEdits prob;
    prob.edited_prob(1) = -1;
    EXPECT_EQ(broken_pending_rule(prob), "edited_prob(1) neither 0 nor 1");
}

}  // namespace
}  // namespace quobel::testing
