// The compiled part of the R package: the library's failures handed to R as values, which the
// package's R code raises as conditions of class "zorvi_error".
#pragma once

#include <cpp11.hpp>

#include <new>
#include <span>
#include <string>

#include "zorvi/api/api.hpp"

namespace zorvi::r {

// How the library's messages name the settings: by the arguments of the R functions.
inline constexpr ArgumentNames r_argument_names = {
    .threshold = "`threshold`",
    .interval = "`interval`",
    .series = "`series`",
    .seed = "`seed`",
    .start_sweep = "`sweep_starts`",
    .bin_width = "`bin_width`",
    .floor = "`floor`",
    .prior_scale = "`prior_scale`",
    .standard_error = "`standard_error`",
    .labels = "`labels`",
    .give_interval = "`interval = c(start, end)`",
    .give_columns = "`columns = c(time, magnitude, standard_error)`",
    .give_floor = "`floor = X`",
    .give_prior_scale = "`prior_scale = X`",
    .give_standard_error = "`standard_error = X`",
    .give_labels = "`labels = \"COLUMN\"`",
};

// The numbers of an R double vector, without a copy.
inline std::span<const double> span_of(const cpp11::doubles& values) {
    return {REAL(values.data()), static_cast<std::size_t>(values.size())};
}

// A failure for R: a list of class "zorvi_failure" with the message, whether a file failed
// (could not be opened, read or written), and the system's error number (0 when the file
// itself is at fault, or none did).
cpp11::sexp failure(const std::string& message, bool file = false, int code = 0);

// Runs `body` and returns its value; a failure of the library, or memory that ran out, comes
// back as a failure value instead. Anything else (R's own interrupt or error, passed on by
// cpp11) goes on to R as it is.
template <typename Body>
cpp11::sexp guarded(Body&& body) {
    try {
        return body();
    } catch (const FileError& error) {
        return failure(error.what(), true, error.code);
    } catch (const Error& error) {
        return failure(error.what());
    } catch (const std::bad_alloc&) {
        return failure("out of memory");
    }
}

}  // namespace zorvi::r
