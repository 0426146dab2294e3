// Looking at the interpreter from inside long work: Ctrl-C and the progress function.
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <stop_token>

namespace zorvi::python {

namespace py = pybind11;

// Polls the interpreter from inside a study or a permutation test, run without the interpreter's
// lock: every few series or block of permutations it looks at the clock, and at most every
// `interval` it takes the lock to check for signals and call the progress function. The first
// Python error stops the work and is kept until it has unwound.
struct Poll {
    // Series between two looks at the clock: fewer for many events, whose series take longer.
    static std::size_t poll_every(std::size_t events) {
        return std::clamp<std::size_t>(65536 / std::max<std::size_t>(1, events), 1, 16);
    }
    static constexpr std::chrono::milliseconds interval{100};
    py::object progress;  // None or progress(done, total)
    std::stop_source stop;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    PyObject* type = nullptr;  // the Python error kept, owned
    PyObject* value = nullptr;
    PyObject* trace = nullptr;

    void operator()(std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if ((done < total && now - last < interval) || type != nullptr) return;
        last = now;
        py::gil_scoped_acquire lock;
        if (PyErr_CheckSignals() != 0) return keep_error();
        if (progress.is_none()) return;
        try {
            progress(done, total);
        } catch (py::error_already_set& error) {
            error.restore();
            keep_error();
        }
    }
    void keep_error() {
        PyErr_Fetch(&type, &value, &trace);
        stop.request_stop();
    }
    // With the lock held: raises the kept error, if any.
    void raise_kept() {
        if (type == nullptr) return;
        PyErr_Restore(type, value, trace);
        type = value = trace = nullptr;
        throw py::error_already_set();
    }
};

}  // namespace zorvi::python
