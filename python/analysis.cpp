// quobel.analyse and quobel.run: the fields of quobel-cli's analyse --json and run --json, as a
// dict whose histograms and other rows of numbers are numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "analysis/boundary_exponents.hpp"
#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "analysis/report_fields.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

namespace quobel::python {

namespace {

py::object to_python(const analysis::FieldValue& value);

py::dict to_dict(const analysis::Fields& fields) {
    py::dict dict;
    for (const analysis::Field& field : fields) {
        dict[py::str(field.name)] = to_python(field.value);
    }
    return dict;
}

py::object to_python(const analysis::FieldValue& value) {
    return std::visit(
        [](const auto& v) -> py::object {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::nullptr_t>) {
                return py::none();
            } else if constexpr (std::is_same_v<V, analysis::Fields>) {
                return to_dict(v);
            } else if constexpr (std::is_same_v<V, std::vector<analysis::Fields>>) {
                py::list list;
                for (const analysis::Fields& fields : v) {
                    list.append(to_dict(fields));
                }
                return list;
            } else if constexpr (std::is_same_v<V, std::vector<std::int64_t>> ||
                                 std::is_same_v<V, std::vector<double>>) {
                using Number = typename V::value_type;
                return py::array_t<Number>(static_cast<py::ssize_t>(v.size()), v.data());
            } else {
                return py::cast(v);
            }
        },
        value);
}

py::dict analyse(const Parameters& parameters) {
    return to_dict(analysis::exponents_fields(analysis::boundary_exponents(parameters.model)));
}

py::dict run(const Parameters& parameters, std::int64_t steps, std::int64_t burn_in,
             std::uint64_t seed, double start, int bins, int chains, const py::object& progress) {
    const RunOptions options = run_options(steps, burn_in, seed, start, bins);
    if (chains < 1 || chains > analysis::max_chains) {
        throw py::value_error("chains takes a whole number from 1 to " +
                              std::to_string(analysis::max_chains) + ", not " +
                              std::to_string(chains) + ".");
    }
    const analysis::LongRun long_run(parameters.model, options.start, options.settings);
    analysis::LongRunControl control;
    std::optional<analysis::LongRunResult> result;
    std::optional<analysis::EnsembleResult> ensemble;
    run_watched(
        [&] {
            if (chains == 1) {
                result = long_run.run(control);
            } else {
                ensemble = analysis::run_ensemble(long_run, chains, control);
            }
        },
        control.cancel,
        progress_reporter(progress, control.steps_done,
                          long_run.settings().steps * std::int64_t{chains}));
    const std::vector<analysis::Flag> flags = analysis::boundary_exponents(parameters.model).flags;
    return to_dict(result ? analysis::run_fields(*result, flags)
                          : analysis::run_fields(*ensemble, flags));
}

}  // namespace

RunOptions run_options(std::int64_t steps, std::int64_t burn_in, std::uint64_t seed, double start,
                       int bins) {
    const auto whole = [](const char* name, std::int64_t value, std::int64_t low,
                          std::int64_t high) {
        if (value < low || value > high) {
            throw py::value_error(std::string(name) + " takes a whole number from " +
                                  std::to_string(low) + " to " + std::to_string(high) + ", not " +
                                  std::to_string(value) + ".");
        }
    };
    whole("steps", steps, 0, analysis::max_long_run_steps);
    whole("burn_in", burn_in, 0, analysis::max_long_run_steps);
    whole("bins", bins, 1, analysis::max_bins);
    if (!(start >= 0 && start <= 1)) {
        throw py::value_error("start takes a number from 0 to 1.");
    }
    RunOptions options{{steps, burn_in, seed, bins}, start};
    if (const std::string refusal = analysis::run_settings_refusal(options.settings);
        !refusal.empty()) {
        throw py::value_error(refusal);
    }
    // A run with no steps records nothing whatever the burn-in, as quobel-cli settles it.
    options.settings.burn_in = std::min(options.settings.burn_in, options.settings.steps);
    return options;
}

void define_analysis(py::module_& module) {
    module.def("analyse", &analyse, py::arg("parameters"),
               "The boundary exponents Lambda_0 and Lambda_1, the verdict, its flags, the Kelly "
               "portfolio and each map's slopes: the fields of quobel-cli analyse --json.");
    module.def("run", &run, py::arg("parameters"), py::kw_only(),
               py::arg("steps") = analysis::default_long_run_steps,
               py::arg("burn_in") = analysis::LongRunSettings{}.burn_in,
               py::arg("seed") = analysis::LongRunSettings{}.seed, py::arg("start") = 0.5,
               py::arg("bins") = analysis::LongRunSettings{}.bins, py::arg("chains") = 1,
               py::arg("progress") = py::none(),
               "A long run without drawing: the fields of quobel-cli run --json, histograms as "
               "numpy arrays. With chains above 1, that many independent chains pooled, with the "
               "errors from their spread. The GIL is free while it runs; Ctrl+C stops it. "
               "progress(done, total), when given, is called with the steps done about every "
               "20 ms.");
}

}  // namespace quobel::python
