// Stand-in: one chain after the other through LongRun. To be replaced by the vectorised engine.
#include "analysis/ensemble.hpp"

namespace quobel::analysis {

EnsembleResult run_ensemble(const LongRun& run, int chains, LongRunControl& control) {
    EnsembleResult ensemble;
    ensemble.chains = chains;
    ensemble.pooled = run.run(control);
    return ensemble;
}

}  // namespace quobel::analysis
