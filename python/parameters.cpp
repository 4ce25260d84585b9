// quobel.Parameters, quobel.load and the saving of parameter files, as the program's Save / Load.
#include <pybind11/numpy.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <string>

#include "python/bindings.hpp"
#include "storage/parameter_file.hpp"
#include "sweep/parameter_names.hpp"
#include "sweep/sweep.hpp"

namespace py = pybind11;

namespace quobel::python {

namespace {

double cell_value(double value) {
    return value;
}
double cell_value(model::RealCell cell) {
    return cell.value();
}

// The maps by the stocks in use, as the file lists them; a copy.
template <class T>
py::array_t<double> stock_table(const model::ModelState& m, const model::MapStockTable<T>& table) {
    const int maps = m.maps_in_tables();
    const int stocks = m.stocks_in_tables();
    py::array_t<double> array({maps, stocks});
    auto cells = array.mutable_unchecked<2>();
    for (int s = 1; s <= maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            cells(s - 1, k - 1) = cell_value(table(s, k));
        }
    }
    return array;
}

Parameters load(const std::filesystem::path& path) {
    Parameters parameters;
    const storage::FileOutcome outcome =
        storage::load_parameter_file(parameters.model, path.string());
    if (!outcome.ok) {
        throw py::value_error(outcome.reason);
    }
    return parameters;
}

void save(const Parameters& parameters, const std::filesystem::path& path) {
    const storage::FileOutcome outcome =
        storage::save_parameter_file(parameters.model, path.string());
    if (!outcome.ok) {
        PyErr_SetString(PyExc_OSError, outcome.reason.c_str());
        throw py::error_already_set();
    }
}

Parameters with_value(const Parameters& parameters, const std::string& text, double value) {
    Parameters changed = parameters;
    const sweep::ParameterName name = parameter_name(&changed.model, text);
    if (const sweep::Applied applied = sweep::set_parameters(changed.model, {{name, value}});
        !applied) {
        throw py::value_error(applied.why_not);
    }
    return changed;
}

}  // namespace

sweep::ParameterName parameter_name(const model::ModelState* model, const std::string& text) {
    const auto name = sweep::parse_parameter_name(text);
    if (!name) {
        throw py::value_error("\"" + text +
                              "\" is not a parameter name like R(2,3), la1(1,2), la2(3,1) or "
                              "prob(2).");
    }
    if (model != nullptr) {
        if (std::string missing = sweep::missing_parameter(*model, *name); !missing.empty()) {
            throw py::value_error(missing);
        }
    }
    return *name;
}

void define_parameters(py::module_& module) {
    py::class_<Parameters>(module, "Parameters",
                           "A parameter set: the counts and the tables R, la1, la2 and prob. "
                           "Immutable: with_value gives a changed copy.")
        .def_property_readonly(
            "R", [](const Parameters& p) { return stock_table(p.model, p.model.R); },
            "Payoff shares R(s, k), maps by stocks (a copy).")
        .def_property_readonly(
            "la1", [](const Parameters& p) { return stock_table(p.model, p.model.la1); },
            "Investor 1's proportions la1(s, k), maps by stocks (a copy).")
        .def_property_readonly(
            "la2", [](const Parameters& p) { return stock_table(p.model, p.model.la2); },
            "Investor 2's proportions la2(s, k), maps by stocks (a copy).")
        .def_property_readonly(
            "prob",
            [](const Parameters& p) {
                const int maps = p.model.maps_in_tables();
                return py::array_t<double>(maps, p.model.prob.all().data());
            },
            "The maps' probabilities prob(s) (a copy).")
        .def_property_readonly(
            "maps", [](const Parameters& p) { return p.model.maps_in_tables(); },
            "The number of maps the tables hold.")
        .def_property_readonly(
            "stocks", [](const Parameters& p) { return p.model.stocks_in_tables(); },
            "The number of stocks the tables hold.")
        .def_property_readonly(
            "num_maps", [](const Parameters& p) { return p.model.num_maps; },
            "The map count as the file holds it, which need not be whole.")
        .def_property_readonly(
            "num_stocks", [](const Parameters& p) { return p.model.num_stocks; },
            "The stock count as the file holds it.")
        .def(
            "value",
            [](const Parameters& p, const std::string& name) {
                return sweep::parameter_value(p.model, parameter_name(&p.model, name));
            },
            py::arg("name"), "One component, named as the file's listing names it: la1(1,2).")
        .def("with_value", &with_value, py::arg("name"), py::arg("value"),
             "New parameters with the component `name` set to `value` and its vector "
             "renormalised as \"Recalculate !!!\" does. ValueError when it has no finite "
             "renormalisation.")
        .def("save", &save, py::arg("path"),
             "Writes the parameter file as the program's Save does, safely; OSError with the "
             "reason when it cannot.")
        .def("__eq__", [](const Parameters& a,
                          const Parameters& b) { return model::same_parameters(a.model, b.model); })
        .def("__repr__", [](const Parameters& p) {
            return "<quobel.Parameters: " + std::to_string(p.model.maps_in_tables()) + " maps, " +
                   std::to_string(p.model.stocks_in_tables()) + " stocks>";
        });
    module.def("load", &load, py::arg("path"),
               "Reads a parameter file as the program's Load does; ValueError with its reason "
               "when it refuses the file.");
}

}  // namespace quobel::python
