#' zorvi: trend tests on dated events with uncertain magnitudes
#'
#' The analysis of the command-line program `zorvi-report` in R: [study()] runs a whole study
#' (the observed series and the simulated ones) with the same numbers, text, JSON, tables,
#' results file and figure as the command line; [cox_lewis()], [trend_fit()],
#' [mil_hdbk_189()], [lewis_robinson()] and [detectable_rate_ratio()] give each statistic on
#' its own as R's test objects. Errors are conditions of class `zorvi_error`.
#'
#' @keywords internal
#' @useDynLib zorvi, .registration = TRUE
"_PACKAGE"

#' The path of a data file shipped with the package
#'
#' The package ships the U.S. hurricane landfalls of 1980-2018 as a CSV table
#' (`us-hurricane-landfalls-1980-2018.csv`: time in decimal years, maximum wind and its
#' standard error in kt, among other columns) and in the program's free format
#' (`Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat`).
#'
#' @param file The file's name; `NULL` lists them.
#' @return The file's path, or the names of the files.
#' @examples
#' zorvi_example()
#' head(read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv")))
#' @export
zorvi_example <- function(file = NULL) {
  folder <- system.file("extdata", package = "zorvi", mustWork = TRUE)
  if (is.null(file)) {
    return(dir(folder))
  }
  path <- file.path(folder, single_text(file, "file"))
  if (!file.exists(path)) {
    zorvi_abort(sprintf("no file \"%s\" is shipped; the files: %s", file,
                        paste(dir(folder), collapse = ", ")))
  }
  path
}
