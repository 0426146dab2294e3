# Bad input, failed files and interrupts: conditions of class zorvi_error, nothing left behind,
# and the session goes on.

bad_csv <- function(directory) {
  path <- file.path(directory, "bad.csv")
  writeLines(c("time_decimal_year,max_wind_kt,stderr_kt", "1990.5,120,5", "1991.5,abc,5"), path)
  path
}

frame <- function(times, magnitudes = rep(120, length(times)), errors = rep(5, length(times))) {
  data.frame(time_decimal_year = times, max_wind_kt = magnitudes, stderr_kt = errors)
}

# (what is called with a temporary directory, the condition's class, words of its message)
bad_input <- list(
  "missing file" = list(function(d) study(file.path(d, "none.csv")), "zorvi_file_error",
                        "cannot open"),
  "a directory" = list(function(d) study(d), "zorvi_file_error", "directory"),
  "bad CSV cell" = list(function(d) study(bad_csv(d)), "zorvi_error", "bad.csv, line 3"),
  "time outside" = list(function(d) study(frame(c(1979, 2000))), "zorvi_error",
                       "events, row 1: the time 1979 lies outside"),
  "missing magnitude" = list(function(d) study(frame(1990, NA_real_)), "zorvi_error",
                            "row 1: the magnitude is NaN"),
  "below the floor" = list(function(d) study(frame(c(1990, 2000), c(120, 50)), floor = 60,
                                             error_model = "posterior"),
                           "zorvi_error", "row 2: the magnitude 50 lies below the floor 60"),
  "unknown columns" = list(function(d) study(shipped_csv, columns = c("t", "x", "s")),
                           "zorvi_error", "no column 't' in the header"),
  "text magnitudes" = list(function(d) study(frame(1990, "120")), "zorvi_error",
                           "column \"max_wind_kt\" must be numeric"),
  "impossible date" = list(function(d) study(frame(c("1990-08-01", "2001-02-30"))),
                           "zorvi_error", "events, row 2: the time '2001-02-30' is not a date"),
  "row named" = list(function(d) study(`row.names<-`(frame(c(1990, 2030)), c("Hugo", "Ike"))),
                     "zorvi_error", "events, row 2 (index 'Ike'): the time 2030 lies outside"),
  "no standard error" = list(function(d) study(frame(1990, 120, NA_real_)), "zorvi_error",
                             "events, row 1: the standard error is NaN"),
  "no error column" = list(function(d) study(shipped_csv, columns = c("date_utc", "max_wind_kt")),
                           "zorvi_error", "`standard_error = X`"),
  "interval as text" = list(function(d) study(shipped_csv, interval = c("1980", "2018")),
                            "zorvi_error", "`interval`: '1980' is not"),
  "missing column" = list(function(d) study(data.frame(t = 1990)), "zorvi_error",
                          "no column \"time_decimal_year\""),
  "no labels column" = list(function(d) study(frame(1990), labels = "place"), "zorvi_error",
                           "`labels`: the data frame has no column \"place\""),
  "labels of the free format" = list(function(d) study(shipped_dat, labels = "name"),
                                     "zorvi_error", "`labels` names a column of a CSV table"),
  "no events" = list(function(d) study(frame(numeric())), "zorvi_error", "no events"),
  "not data" = list(function(d) study(42), "zorvi_error", "`data` must be a path"),
  "reversed interval" = list(function(d) study(shipped_csv, interval = rev(shipped_interval)),
                             "zorvi_error", "`interval` must be"),
  "no series" = list(function(d) study(shipped_csv, series = 0), "zorvi_error", "`series`"),
  "part of a series" = list(function(d) study(shipped_csv, series = 2.5), "zorvi_error",
                            "whole number"),
  "seed too wide" = list(function(d) study(shipped_csv, seed = 2^31), "zorvi_error", "`seed`"),
  "threshold NA" = list(function(d) study(shipped_csv, threshold = NA), "zorvi_error",
                        "`threshold`"),
  "unknown model" = list(function(d) study(shipped_csv, error_model = "prior"), "zorvi_error",
                         "`error_model`"),
  "floor without the model" = list(function(d) study(shipped_csv, floor = 60), "zorvi_error",
                                   "posterior"),
  "scale not positive" = list(function(d) study(shipped_csv, error_model = "posterior",
                                                prior_scale = 0), "zorvi_error",
                              "`prior_scale`"),
  "results into a directory" = list(function(d) study(shipped_csv, series = 5, results = d),
                                    "zorvi_file_error", "not a regular file"),
  "results over the data" = list(function(d) {
    file.copy(shipped_csv, d)
    study(file.path(d, basename(shipped_csv)), results = file.path(d, basename(shipped_csv)))
  }, "zorvi_error", "data file"),
  "results where no folder is" = list(function(d) {
    write_results(study(shipped_csv, series = 5), file.path(d, "no", "r.dat"))
  }, "zorvi_file_error", "r.dat"),
  "not a study" = list(function(d) to_json(list()), "zorvi_error", "study()"),
  "time outside the test" = list(function(d) cox_lewis(c(1990, 2030), c(1980, 2020)),
                                 "zorvi_error", "time 2 (2030)"),
  "times as text" = list(function(d) trend_fit("1990", c(1980, 2020)), "zorvi_error",
                         "`times`: '1990' is not an ISO 8601"),
  "confidence level" = list(function(d) trend_fit(1990, c(1980, 2020), conf.level = 1.5),
                            "zorvi_error", "`conf.level`"),
  "alternative" = list(function(d) lewis_robinson(1990, c(1980, 2020), "up"), "zorvi_error",
                       "`alternative`"),
  "negative m" = list(function(d) detectable_rate_ratio(-1, c(1980, 2020)), "zorvi_error",
                      "`m`"),
  "sig.level" = list(function(d) detectable_rate_ratio(5, c(1980, 2020), sig.level = 0.5),
                     "zorvi_error", "`sig.level`"),
  "one bin" = list(function(d) dispersion(1990, c(1980, 2020), bin_width = 40), "zorvi_error",
                   "the bin width 40 must be"),
  "no permutation" = list(function(d) permutation_trend(1990, c(1980, 2020), permutations = 0),
                          "zorvi_error", "`permutations`")
)

test_that("bad input raises a zorvi_error and leaves nothing behind", {
  for (case in names(bad_input)) {
    directory <- withr::local_tempdir()
    call <- bad_input[[case]][[1L]]
    condition <- tryCatch(call(directory), error = identity)
    expected <- unique(c(bad_input[[case]][[2L]], "zorvi_error", "error", "condition"))
    expect_identical(class(condition), expected, label = case)
    expect_match(conditionMessage(condition), bad_input[[case]][[3L]], fixed = TRUE,
                 label = case)
    expect_false(any(grepl("--", conditionMessage(condition), fixed = TRUE)), label = case)
    left <- setdiff(dir(directory), c("bad.csv", basename(shipped_csv)))
    expect_identical(left, character(), label = case)
  }
  missing <- tryCatch(study(file.path(tempdir(), "none.csv")), error = identity)
  expect_identical(missing$errno, 2L)  # ENOENT
  expect_identical(deparse(conditionCall(missing)), "study(file.path(tempdir(), \"none.csv\"))")
})

test_that("an interrupt stops a study at its next look and leaves no file", {
  directory <- withr::local_tempdir()
  calls <- 0
  progress <- function(done, total) {
    calls <<- calls + 1
    if (calls == 2) tools::pskill(Sys.getpid(), tools::SIGINT)
    if (calls > 50) stop("the interrupt was not seen")
  }
  outcome <- tryCatch(
    study(shipped_csv, series = 1e9, results = file.path(directory, "r.dat"),
          progress = progress),
    interrupt = function(condition) "interrupted"
  )
  # Seen at the look after the signal, before the progress function is called again (how
  # soon that is, bench/r_study.R measures: about 0.1 s).
  expect_identical(outcome, "interrupted")
  expect_identical(calls, 2)
  expect_identical(dir(directory), character())
  # An error of the progress function stops the study the same way, and the next study
  # starts afresh.
  expect_error(study(shipped_csv, series = 1e9, progress = function(done, total) stop("boom")),
               "boom")
  expect_identical(study(shipped_csv, series = 50)$observed$p, cox_lewis(
    subset(utils::read.csv(shipped_csv), max_wind_kt >= 113)$time_decimal_year,
    shipped_interval)$p.value)
})

test_that("an interrupt stops a long permutation test", {
  # 10^7 permutations of 10^5 bins would take many minutes; the interrupt comes after 1 s.
  times <- seq(0.005, 999.995, length.out = 20000)
  system2("sh", c("-c", shQuote(sprintf("sleep 1; kill -INT %d", Sys.getpid()))), wait = FALSE)
  outcome <- tryCatch(
    permutation_trend(times, c(0, 1000), bin_width = 0.01, permutations = 1e7),
    interrupt = function(condition) "interrupted"
  )
  expect_identical(outcome, "interrupted")
  expect_s3_class(permutation_trend(times, c(0, 1000), permutations = 99), "htest")
})

test_that("a study prints nothing unless asked, and a saved one says it must be run again", {
  expect_silent(s <- study(shipped_csv, series = 20))
  expect_silent(tables(s))
  file <- withr::local_tempfile(fileext = ".rds")
  saveRDS(s, file)
  restored <- readRDS(file)
  expect_identical(restored$observed, s$observed)
  expect_error(print(restored), class = "zorvi_error", regexp = "run study\\(\\) again")
})
