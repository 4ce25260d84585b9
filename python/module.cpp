// The Python module quobel: parameter files, the exponents, long runs and sweeps of the core.
#include <pybind11/pybind11.h>

#include "model/version.hpp"
#include "python/bindings.hpp"

PYBIND11_MODULE(quobel, module) {
    module.doc() =
        "Quobel's random maps: load and save parameter files, the boundary exponents, long runs "
        "and parameter sweeps, with the numbers quobel-cli gives.";
    module.attr("__version__") = std::string(quobel::model::version);
    quobel::python::define_parameters(module);
    quobel::python::define_analysis(module);
    quobel::python::define_sweep(module);
}
