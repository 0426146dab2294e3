# A study's outputs: the command line's text, JSON, tables, figure and results file, and R's
# own views of them.

#' The outputs of a study, as the command line writes them
#'
#' `to_json()` gives the JSON document of `zorvi-report --json --no-figure`, `to_html()` the
#' page of `zorvi-report --html FILE --no-figure` (the answer in plain words first, then every
#' section with its tables and the figure's panels), `to_svg()` the figure
#' `Zorvireport.svg`, `tables()` the tables of `zorvi-report --csv` as data frames, and
#' `write_results()` writes the results file in the program's format; all byte for byte the
#' command line's for the same data and options. In an R Markdown document a study shows as
#' the HTML report, one element whose styles stay within it.
#'
#' @param x A study made by [study()].
#' @param results How the JSON names the results file: by default the path the study was
#'   given, or `"study-results.dat"`.
#' @param fragment `FALSE` for a whole page; `TRUE` for one element to place inside another
#'   page, its styles scoped to it.
#' @param path Where to write the results file. It is written whole or not at all; it never
#'   replaces the study's data file or anything but a regular file.
#' @return `to_json()`, `to_html()` and `to_svg()`: a string. `tables()`: a named list of data frames
#'   (`tests`, `events`, `m_counts`, `series` when the series were kept, `sweep_threshold`,
#'   `sweep_start_year`, and `error_models` for the posterior model), each read with
#'   [utils::read.csv()] from the command line's CSV text. `write_results()`: `path`,
#'   invisibly.
#' @examples
#' s <- study(zorvi_example("us-hurricane-landfalls-1980-2018.csv"), series = 100)
#' names(tables(s))
#' substr(to_json(s), 1, 60)
#' file <- tempfile(fileext = ".dat")
#' write_results(s, file)
#' readLines(file, n = 4)
#' @name outputs
NULL

#' @rdname outputs
#' @export
to_json <- function(x, results = NULL) {
  core <- study_core(x)
  checked(core_json(core, results_name(x, results)))
}

#' @rdname outputs
#' @export
to_html <- function(x, results = NULL, fragment = FALSE) {
  core <- study_core(x)
  checked(core_html(core, results_name(x, results), flag(fragment, "fragment")))
}

#' A study in a knitr document: the HTML report as one element.
#' @exportS3Method knitr::knit_print
#' @noRd
knit_print.zorvi_study <- function(x, ...) {
  knitr::asis_output(to_html(x, fragment = TRUE))
}

#' @rdname outputs
#' @export
to_svg <- function(x) {
  checked(core_svg(study_core(x)))
}

#' @rdname outputs
#' @export
tables <- function(x) {
  texts <- checked(core_tables(study_core(x)))
  frames <- lapply(texts, function(text) {
    utils::read.csv(text = text, check.names = FALSE, stringsAsFactors = FALSE)
  })
  stats::setNames(frames, sub("\\.csv$", "", names(texts)))
}

#' @rdname outputs
#' @export
write_results <- function(x, path) {
  core <- study_core(x)
  path <- output_path(path, "path")
  checked(core_write_results(core, path))
  invisible(path)
}

#' Print, summarise and plot a study
#'
#' `print()` shows the text summary of `zorvi-report --no-figure`; `summary()` gives the main
#' numbers (the settings, the observed test, the share of simulated series with P < 0.05,
#' the size of the trend and the tests); `plot()` draws the report's figure on the current
#' graphics device (it needs the package rsvg); `as.data.frame()` gives the tests table.
#'
#' @param x,object A study made by [study()].
#' @param results How the summary names the results file (as in [to_json()]).
#' @param row.names,optional,... Unused; for the generics.
#' @return `print()` and `plot()`: `x`, invisibly. `summary()`: an object of class
#'   `summary.zorvi_study`. `as.data.frame()`: the tests table, one row per test.
#' @examples
#' s <- study(zorvi_example("us-hurricane-landfalls-1980-2018.csv"), series = 100)
#' summary(s)
#' as.data.frame(s)
#' if (requireNamespace("rsvg", quietly = TRUE)) plot(s)
#' @name study-methods
NULL

#' @rdname study-methods
#' @export
print.zorvi_study <- function(x, results = NULL, ...) {
  cat(checked(core_summary(study_core(x), results_name(x, results))))
  invisible(x)
}

#' @rdname study-methods
#' @export
summary.zorvi_study <- function(object, ...) {
  tests <- as.data.frame(object)
  structure(list(
    settings = object$settings,
    error_model = if (is.null(object$error_models)) "observed" else "posterior",
    observed = object$observed[c("m", "u", "p")],
    share_p_below_005 = object$simulated$share_p_below_005,
    rate_ratio_per_decade = object$observed$rate_ratio_per_decade,
    detectable_rate_ratio_per_decade = object$observed$detectable_rate_ratio_per_decade,
    tests = tests[c("method", "alternative", "statistic", "p_value",
                    "simulated_share_p_below_005")]
  ), class = "summary.zorvi_study")
}

#' @export
print.summary.zorvi_study <- function(x, digits = 4L, ...) {
  number <- function(value) format(value, digits = digits)
  percent <- function(value) sprintf("%.2f %%", 100 * value)
  s <- x$settings
  share <- x$share_p_below_005
  ratio <- x$rate_ratio_per_decade
  cat("Zorvi study of ", s$events, " events: magnitude >= ", number(s$threshold), ", ",
      format(s$start, digits = 15L), " to ", format(s$end, digits = 15L), "\n",
      s$series, " simulated series, seed ", s$seed, ", ", x$error_model, " error model\n\n",
      "Observed series     m = ", x$observed$m, ", u = ", number(x$observed$u),
      ", P = ", number(x$observed$p), "\n",
      "Simulated P < 0.05  ", share$count, " of ", share$of, " = ", percent(share$share),
      " (95 % interval ", percent(share$conf_low), " to ", percent(share$conf_high), ")\n",
      "Rate ratio/decade   ", number(ratio$estimate), " (95 % interval ",
      number(ratio$conf_low), " to ", number(ratio$conf_high), "), detectable ",
      number(x$detectable_rate_ratio_per_decade), "\n\n", sep = "")
  print(x$tests, digits = digits, row.names = FALSE)
  invisible(x)
}

#' @rdname study-methods
#' @export
plot.zorvi_study <- function(x, ...) {
  svg <- to_svg(x)
  if (!requireNamespace("rsvg", quietly = TRUE)) {
    zorvi_abort(paste("plot() draws the figure with the package rsvg: install it",
                      "(Debian: apt install r-cran-rsvg), or write to_svg(x) to a file"))
  }
  # Rendered at twice the device's size (at least 1600 pixels wide), kept in proportion.
  width <- max(1600, 2 * grDevices::dev.size("px")[1L])
  image <- rsvg::rsvg_nativeraster(charToRaw(svg), width = width)
  grid::grid.newpage()
  grid::grid.raster(image)
  invisible(x)
}

#' @rdname study-methods
#' @export
as.data.frame.zorvi_study <- function(x, row.names = NULL, optional = FALSE, ...) {
  tables(x)$tests
}
