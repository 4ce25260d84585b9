// quobel.sweep: the columns of the CSV quobel-cli sweep writes, as a pandas DataFrame when pandas
// is there and else as a dict of numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "python/bindings.hpp"
#include "sweep/sweep.hpp"
#include "sweep/sweep_csv.hpp"

namespace py = pybind11;

namespace quobel::python {

namespace {

// The rows as they come, column by column: numbers, or texts for the verdict and the flags.
struct Columns {
    std::vector<std::string> names;
    std::vector<std::vector<double>> numbers;
    std::vector<std::vector<std::string>> texts;

    void add(const std::vector<sweep::Cell>& row) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (const auto* number = std::get_if<double>(&row[i])) {
                numbers[i].push_back(*number);
            } else {
                texts[i].push_back(std::get<std::string>(row[i]));
            }
        }
    }
};

using Vary = std::vector<std::tuple<std::string, double, double, std::int64_t>>;

// The sweep itself says which parameters the model lacks, as quobel-cli does.
std::vector<sweep::Axis> axes_of(const Vary& vary) {
    if (vary.empty() || vary.size() > 2) {
        throw py::value_error("vary takes one or two (NAME, FROM, TO, COUNT), not " +
                              std::to_string(vary.size()) + ".");
    }
    std::vector<sweep::Axis> axes;
    for (const auto& [text, from, to, count] : vary) {
        axes.push_back({parameter_name(nullptr, text), from, to, count});
    }
    return axes;
}

py::object sweep(const Parameters& parameters, const Vary& vary, std::int64_t steps,
                 std::int64_t burn_in, std::uint64_t seed, double start, int bins,
                 std::optional<int> threads, const py::object& progress) {
    sweep::SweepSettings settings;
    settings.axes = axes_of(vary);
    if (const auto problem = sweep::sweep_problem(&parameters.model, settings, {})) {
        throw py::value_error(sweep::problem_text(problem, settings, "vary"));
    }
    const RunOptions options = run_options(steps, burn_in, seed, start, bins);
    settings.run = options.settings;
    settings.start = options.start;
    const int thread_count = threads.value_or(sweep::core_count());
    if (thread_count < 1 || thread_count > 1024) {
        throw py::value_error("threads takes a whole number from 1 to 1024, not " +
                              std::to_string(thread_count) + ".");
    }
    Columns columns;
    columns.names = sweep::column_names(settings);
    columns.numbers.resize(columns.names.size());
    columns.texts.resize(columns.names.size());
    const std::int64_t size = sweep::grid_size(settings);
    sweep::SweepControl control;
    run_watched(
        [&] {
            sweep::run_sweep(parameters.model, settings, 0, size, thread_count, control,
                             [&](const sweep::PointResult& point) {
                                 columns.add(sweep::row_cells(settings, point));
                             });
        },
        control.runs.cancel, progress_reporter(progress, control.points_done, size));
    py::dict table;
    for (std::size_t i = 0; i < columns.names.size(); ++i) {
        const auto& numbers = columns.numbers[i];
        table[py::str(columns.names[i])] =
            columns.texts[i].empty()
                ? py::object(
                      py::array_t<double>(static_cast<py::ssize_t>(numbers.size()), numbers.data()))
                : py::object(py::cast(columns.texts[i]));
    }
    try {
        return py::module_::import("pandas").attr("DataFrame")(table);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) {
            throw;
        }
        return table;
    }
}

}  // namespace

void define_sweep(py::module_& module) {
    module.def("sweep", &sweep, py::arg("parameters"), py::kw_only(), py::arg("vary"),
               py::arg("steps") = analysis::default_long_run_steps,
               py::arg("burn_in") = analysis::LongRunSettings{}.burn_in,
               py::arg("seed") = analysis::LongRunSettings{}.seed, py::arg("start") = 0.5,
               py::arg("bins") = analysis::LongRunSettings{}.bins, py::arg("threads") = py::none(),
               py::arg("progress") = py::none(),
               "A sweep over one or two parameters, vary=[(NAME, FROM, TO, COUNT)], with the "
               "rows quobel-cli sweep writes for the same settings: a pandas DataFrame of the "
               "CSV's columns, or a dict of numpy arrays (texts as lists) without pandas. Runs "
               "on every core unless threads says otherwise; Ctrl+C stops it; progress(done, "
               "total) is called with the points done about every 20 ms.");
}

}  // namespace quobel::python
