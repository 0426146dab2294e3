// The compiled module zorvi._core: the library's statistics and whole study, its failures as
// Python's own exceptions. The package zorvi wraps it in Python-shaped results.
#include <Python.h>

#include <cstddef>
#include <string>

#include "bindings.hpp"
#include "zorvi/api/api.hpp"
#include "zorvi/files/temporary_file.hpp"

namespace zorvi::python {

std::span<const double> numbers_of(const Numbers& values, const char* name) {
    if (values.ndim() != 1)
        throw py::value_error(std::string(name) + " must be a one-dimensional sequence of numbers");
    return {values.data(), static_cast<std::size_t>(values.size())};
}

namespace {

// A failed file: OSError with the system's error number (FileNotFoundError for ENOENT, and so
// on), or a plain OSError when the file itself is at fault. Bad input: ValueError.
void translate(std::exception_ptr failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const FileError& error) {
        if (error.code == 0) {
            PyErr_SetString(PyExc_OSError, error.what());
            return;
        }
        py::object arguments = py::make_tuple(error.code, error.what());
        PyErr_SetObject(PyExc_OSError, arguments.ptr());
    } catch (const Stopped& error) {
        PyErr_SetString(PyExc_KeyboardInterrupt, error.what());
    } catch (const Error& error) {
        PyErr_SetString(PyExc_ValueError, error.what());
    }
}

}  // namespace

}  // namespace zorvi::python

PYBIND11_MODULE(_core, module) {
    module.doc() = "The compiled part of zorvi: the library's statistics and whole study.";
    // Ctrl-C stays the interpreter's (the library installs no signal handler of its own): a
    // study polls for it and stops, removing its files.
    pybind11::register_exception_translator(zorvi::python::translate);
    zorvi::python::bind_statistics(module);
    zorvi::python::bind_study(module);
}
