# Shared by the tests: the shipped data, and the command line to compare with.

shipped_csv <- zorvi_example("us-hurricane-landfalls-1980-2018.csv")
shipped_dat <- zorvi_example("Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat")
shipped_interval <- c(1980.417, 2018.917)

# zorvi-report, given by ZORVI_REPORT (make test sets it); the tests that need it skip without.
report_program <- function() {
  program <- Sys.getenv("ZORVI_REPORT")
  if (!nzchar(program) || !file.exists(program)) {
    skip("set ZORVI_REPORT to zorvi-report to compare with the command line")
  }
  program
}

# Runs zorvi-report with `arguments` in `directory`; its standard output, failing on a status.
run_report <- function(arguments, directory) {
  program <- report_program()
  output <- withr::with_dir(directory, system2(program, arguments, stdout = TRUE))
  status <- attr(output, "status")
  if (!is.null(status)) {
    stop("zorvi-report ", paste(arguments, collapse = " "), " ended with status ", status)
  }
  paste0(paste(output, collapse = "\n"), "\n")
}

read_bytes <- function(path) readChar(path, file.size(path), useBytes = TRUE)
