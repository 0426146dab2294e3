# Runs the package's testthat tests against the package installed in the library path, as
# `make test` does; the status tells whether every test passed.
arguments <- commandArgs(trailingOnly = TRUE)
if (!requireNamespace("testthat", quietly = TRUE)) {
  stop("the R package's tests need testthat: install r-cran-testthat (scripts/install-deps)")
}
results <- testthat::test_dir(arguments[1L], package = "zorvi", load_package = "installed",
                              reporter = testthat::SummaryReporter$new(), stop_on_failure = TRUE)
