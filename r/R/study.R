# A whole study, as zorvi-report runs it: the arguments checked and converted, the study run
# by the library, and its JSON document read into R values.

# Up to this many series a study keeps each one's m, u and P unless told otherwise; beyond it
# the study's memory stays bounded, as the command line's does.
keep_limit <- 100000

#' A whole study of dated events with uncertain magnitudes
#'
#' Runs the analysis of `zorvi-report` on a data file or a data frame: the observed series is
#' selected (magnitude at or above `threshold`) and tested with the Cox-Lewis test over
#' `interval`; then `series` simulated series, each magnitude moved by a Gaussian deviate
#' scaled with its standard error, are selected and tested again, with the program's own
#' generator, selection and test. The study adds the size of the trend, other trend tests,
#' the power, the events that decide, and the answer along the threshold and the start year.
#' The defaults are the program's.
#'
#' The study runs on R's thread and checks for the user's interrupt about every 0.1 s: an
#' interrupt stops it within a fraction of a second, leaving no file. Bad input, and a file
#' that cannot be read or written, raise an error of class `zorvi_error` (a failed file:
#' `zorvi_file_error` with the system's `errno`) with the command line's message.
#'
#' @param data A path to a data file (a CSV table when its name ends in `.csv` or `columns`
#'   are given, else the program's free format: three numbers per event), or a data frame.
#'   Times are decimal years or, in a CSV table or data frame, ISO 8601 dates or date-times
#'   (`"2017-08-26"`, `"2017-08-26T18:00Z"`, UTC without a zone); a data frame's time column
#'   may also be of class `Date` or `POSIXct`.
#' @param threshold The lowest magnitude selected.
#' @param interval The test's interval `c(start, end)` in decimal years (or as dates,
#'   date-times or ISO 8601 text); every time lies within it.
#' @param series The number of simulated series, from 1 to 10^9.
#' @param seed The seed word of the program's generator, a whole number from -2^31 to
#'   2^31 - 1 (`seed` and `-seed` give the same series).
#' @param columns The time, magnitude and standard-error columns of a CSV file or data frame
#'   (by default the shipped table's); or only the time and magnitude columns, with
#'   `standard_error` given.
#' @param standard_error The standard error of the events without one: every event when
#'   `columns` names no standard-error column, else those whose cell is empty (`NA`). By
#'   default none, and such an event is an error.
#' @param error_model `"observed"` (each observed magnitude moved by its error, the
#'   program's model) or `"posterior"` (each event's true magnitude drawn given its
#'   observation, under an exponential population above a floor; the study then compares
#'   both models).
#' @param floor The posterior model's floor L: by default the smallest magnitude itself.
#' @param prior_scale The posterior model's prior scale theta: by default the mean excess of
#'   the magnitudes over the floor; `Inf` gives the observed model back.
#' @param bin_width The width of the bins in which the clustering check counts the selected
#'   events, from the interval's start: by default 1, a year (finite, positive, 2 to 10^6 bins
#'   over the interval).
#' @param results `NULL`, or a path: the results file is then written there as the series
#'   are made, whole once the study ends or not at all.
#' @param keep_series Whether to keep each series' m, u and P (the `series` data frame and
#'   [write_results()]); by default up to 100000 series. Without them, memory stays bounded
#'   for any number of series.
#' @param name How the outputs name the data: by default the path, or `"events"`.
#' @param labels The column of a CSV file or data frame that names each event (the command
#'   line's `--labels`); by default a column called `"name"`, when there is one. The deciding
#'   events' table, the tables and the figure's tooltips show the names, each at most 40
#'   characters.
#' @param progress `TRUE` for a progress bar on the console (by default in an interactive
#'   session), `FALSE` for none, or a function `function(done, total)` called about every
#'   0.1 s and at the end.
#' @return An object of class `zorvi_study`: a list holding the study's numbers under the
#'   names of `zorvi-report --json` (`settings`, `observed`, `simulated`, `expected_m`,
#'   `events`, `sweeps`, `check`, `files`; arrays of records as data frames, `null` as
#'   `NULL` or `NA`) and `series` (each simulated series' `m`, `u`, `p` and
#'   `rate_ratio_per_decade`, or `NULL` when the series were not kept). `print()` shows the
#'   text summary, `summary()` the main numbers, `plot()` the figure; [tables()],
#'   [to_json()], [to_svg()], [write_results()] and `as.data.frame()` give the command
#'   line's other outputs.
#' @examples
#' landfalls <- zorvi_example("us-hurricane-landfalls-1980-2018.csv")
#' s <- study(landfalls, series = 200)
#' s$observed$p
#' summary(s)
#'
#' events <- read.csv(landfalls)
#' s64 <- study(events, threshold = 64, series = 200)
#' as.data.frame(s64)
#' @export
study <- function(data, threshold = 113, interval = c(1980.417, 2018.917), series = 2000,
                  seed = -206761862,
                  columns = c("time_decimal_year", "max_wind_kt", "stderr_kt"),
                  standard_error = NULL, error_model = c("observed", "posterior"), floor = NULL,
                  prior_scale = NULL, bin_width = NULL, results = NULL, keep_series = NULL,
                  name = NULL, labels = NULL, progress = interactive()) {
  if (!is.null(labels)) {
    labels <- single_text(labels, "labels")
    if (!nzchar(labels)) zorvi_abort("`labels` must name a column, not \"\"")
  }
  options <- study_events(data, columns, labels, csv = !missing(columns))
  options$standard_error <- if (is.null(standard_error)) {
    NaN
  } else {
    positive_number(standard_error, "standard_error", zero = TRUE)
  }
  interval <- check_interval(interval)
  options$threshold <- single_number(threshold, "threshold")
  options$start <- interval[1L]
  options$end <- interval[2L]
  options$series <- whole_number(series, "series", 1, 1e9, "1 to 10^9")
  options$seed <- whole_number(seed, "seed", -2^31, 2^31 - 1, "-2^31 to 2^31 - 1")
  options$error_model <- choose(error_model, c("observed", "posterior"), "error_model")
  posterior <- options$error_model == "posterior"
  if (!posterior && (!is.null(floor) || !is.null(prior_scale))) {
    zorvi_abort("`floor` and `prior_scale` apply to error_model = \"posterior\" only")
  }
  options$floor <- if (is.null(floor)) NaN else single_number(floor, "floor")
  options$prior_scale <- if (is.null(prior_scale)) {
    NaN
  } else {
    positive_number(prior_scale, "prior_scale", infinite = "the observed model")
  }
  options$bin_width <- if (is.null(bin_width)) NaN else positive_number(bin_width, "bin_width")
  options$results <- if (is.null(results)) NULL else output_path(results, "results")
  options$keep_series <- if (is.null(keep_series)) {
    options$series <= keep_limit
  } else {
    flag(keep_series, "keep_series")
  }
  options$name <- if (is.null(name)) options$name else single_text(name, "name")
  bar <- progress_function(progress)
  on.exit(bar$close())
  options$progress <- bar$update
  core <- checked(core_run_study(options))
  new_study(core, if (is.null(results)) "study-results.dat" else options$results)
}

# The events part of a study's options: a path (read as a CSV table when `csv`, the columns
# given, or when its name says so), or a data frame's columns: the times as decimal years or
# ISO 8601 text, the others as doubles, and its row names when they are its own.
study_events <- function(data, columns, labels, csv, call = sys.call(-1L)) {
  if (!is.character(columns) || !(length(columns) %in% 2:3) || anyNA(columns)) {
    zorvi_abort(paste("`columns` must name the time, magnitude and standard-error columns (or",
                      "the first two, with `standard_error` given), not", describe(columns)),
                call = call)
  }
  if (is.character(data) && length(data) == 1L && !is.na(data)) {
    path <- path.expand(data)
    return(list(path = path, csv = csv, columns = columns, name = path, labels = labels))
  }
  if (!is.data.frame(data)) {
    zorvi_abort(sprintf("`data` must be a path or a data frame, not %s", describe(data)),
                call = call)
  }
  missing <- setdiff(columns, names(data))
  if (length(missing) > 0L) {
    zorvi_abort(sprintf("the data frame has no column \"%s\" (its columns: %s)", missing[1L],
                        paste(names(data), collapse = ", ")), call = call)
  }
  times <- data[[columns[1L]]]
  if (!is_time(times)) {
    zorvi_abort(sprintf(paste("column \"%s\" must hold decimal years, dates, date-times or",
                              "ISO 8601 text, not %s"), columns[1L], class(times)[1L]),
                call = call)
  }
  numbers <- lapply(columns[-1L], function(column) {
    if (!is.numeric(data[[column]]) && !all(is.na(data[[column]]))) {
      zorvi_abort(sprintf("column \"%s\" must be numeric, not %s", column,
                          class(data[[column]])[1L]), call = call)
    }
    as.double(data[[column]])
  })
  errors <- if (length(columns) == 3L) numbers[[2L]] else rep(NaN, nrow(data))
  list(path = NULL, times = if (is.numeric(times)) as.double(times) else iso_text(times),
       magnitudes = numbers[[1L]], standard_errors = errors, columns = columns,
       row_labels = if (.row_names_info(data) > 0L) row.names(data), name = "events",
       event_labels = event_labels(data, labels, call),
       label_column = if (is.null(labels)) "name" else labels)
}

# A data frame's events named by the column `labels`, or by default by one called "name", as
# the command line names a CSV table's: their labels as text (NA none), or NULL without them.
event_labels <- function(data, labels, call) {
  column <- if (is.null(labels)) "name" else labels
  if (!column %in% names(data)) {
    if (is.null(labels)) return(NULL)
    zorvi_abort(sprintf("`labels`: the data frame has no column \"%s\" (its columns: %s)",
                        labels, paste(names(data), collapse = ", ")), call = call)
  }
  text <- as.character(data[[column]])
  text[is.na(text)] <- ""
  text
}

# A positive number (or 0 with `zero`); Inf only where `infinite` says what it means.
positive_number <- function(x, name, zero = FALSE, infinite = NULL, call = sys.call(-1L)) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || !(x > 0 || (zero && x == 0)) ||
      (is.null(infinite) && is.infinite(x))) {
    what <- if (zero) "a finite number, 0 or more" else "a positive number"
    if (!is.null(infinite)) what <- sprintf("%s (Inf for %s)", what, infinite)
    zorvi_abort(sprintf("`%s` must be %s, not %s", name, what, describe(x)), call = call)
  }
  as.double(x)
}

single_text <- function(x, name, call = sys.call(-1L)) {
  if (!is.character(x) || length(x) != 1L || is.na(x)) {
    zorvi_abort(sprintf("`%s` must be a single string, not %s", name, describe(x)), call = call)
  }
  x
}

output_path <- function(x, name, call = sys.call(-1L)) {
  path <- single_text(x, name, call = call)
  if (!nzchar(path)) {
    zorvi_abort(sprintf("`%s` must name a file, not \"\"", name), call = call)
  }
  path.expand(path)
}

flag <- function(x, name, call = sys.call(-1L)) {
  if (!is.logical(x) || length(x) != 1L || is.na(x)) {
    zorvi_abort(sprintf("`%s` must be TRUE or FALSE, not %s", name, describe(x)), call = call)
  }
  x
}

# The progress function for the study and what closes it: a text bar on the console for
# TRUE, created only once the study has run for a moment, or the user's function.
progress_function <- function(progress, call = sys.call(-1L)) {
  if (is.function(progress)) {
    return(list(update = progress, close = function() NULL))
  }
  if (!isTRUE(progress) && !isFALSE(progress)) {
    zorvi_abort(sprintf("`progress` must be TRUE, FALSE or a function(done, total), not %s",
                        describe(progress)), call = call)
  }
  if (!progress) {
    return(list(update = NULL, close = function() NULL))
  }
  bar <- NULL
  list(
    update = function(done, total) {
      if (is.null(bar)) {
        if (done >= total) {
          return(invisible())
        }
        bar <<- utils::txtProgressBar(max = total, style = 3, file = stderr())
      }
      utils::setTxtProgressBar(bar, done)
    },
    close = function() if (!is.null(bar)) close(bar)
  )
}

new_study <- function(core, results) {
  document <- jsonlite::fromJSON(checked(core_json(core, results)), simplifyVector = TRUE)
  series <- checked(core_series(core))
  if (!is.null(series)) {
    series <- as.data.frame(series)
  }
  structure(c(document, list(series = series)), core = core, results = results,
            class = "zorvi_study")
}

# The study's compiled state, and the results file's name in its outputs.
study_core <- function(x, call = sys.call(-1L)) {
  if (!inherits(x, "zorvi_study")) {
    zorvi_abort(sprintf("expected a study made by study(), not %s", describe(x)), call = call)
  }
  attr(x, "core")
}

results_name <- function(x, results, call = sys.call(-1L)) {
  if (is.null(results)) attr(x, "results") else single_text(results, "results", call = call)
}
