// The program-wide state: one object, owned by the application and passed by reference.
#pragma once

#include <memory>

#include "editing/pending_edits.hpp"
#include "model/model_state.hpp"
#include "model/random_source.hpp"
#include "model/step_log.hpp"

namespace quobel::windows {

struct ProgramState {
    ProgramState() : random(std::make_unique<model::UniformGenerator>()) {}
    // Tests pass a scripted source to feed exact draws.
    explicit ProgramState(std::unique_ptr<model::RandomSource> source)
        : random(std::move(source)) {}

    model::ModelState model;
    editing::PendingEdits pending;
    std::unique_ptr<model::RandomSource> random;  // the program's one uniform generator
    model::StepLog step_log;  // the latest points of the cobweb, since the last start point
};

}  // namespace quobel::windows
