# The package gives zorvi-report's bytes and numbers for the same data and options.

# Events made in R: 40 made-up quakes over 1950-2020, in decimal years and magnitudes with
# few enough digits that a CSV file holds them exactly.
made_up_events <- function() {
  set.seed(1)
  data.frame(
    when = round(sort(runif(40, 1950, 2020)), 3),
    Mw = round(5 + rexp(40, 1.5), 2),
    se = round(runif(40, 0.1, 0.4), 2),
    place = "Nowhere, \"Land\""
  )
}

# Each case: the data as the study takes it (given the directory), the study's arguments, and
# the command line's options for the same. Past the first, fewer series: the equality of the
# outputs does not depend on their number, and each case runs three studies.
cases <- list(
  program = list(function(d) shipped_dat, list(), c("--data", shipped_dat)),
  csv64 = list(function(d) shipped_csv, list(threshold = 64, series = 200),
               c("--data", shipped_csv, "--threshold", "64", "--series", "200")),
  posterior = list(function(d) shipped_csv,
                   list(series = 500, seed = 7, error_model = "posterior", prior_scale = 20),
                   c("--data", shipped_csv, "--series", "500", "--seed", "7",
                     "--error-model", "posterior", "--prior-scale", "20")),
  made_up_file = list(function(d) "quakes.csv",
                      list(columns = c("when", "Mw", "se"), threshold = 6.5,
                           interval = c(1950, 2020), series = 200),
                      c("--data", "quakes.csv", "--columns", "when,Mw,se", "--threshold",
                        "6.5", "--interval", "1950", "2020", "--series", "200")),
  iso_dates = list(function(d) {
    events <- utils::read.csv(shipped_csv)
    events$date_utc <- as.Date(events$date_utc)
    events
  }, list(columns = c("date_utc", "max_wind_kt", "stderr_kt"), name = shipped_csv, series = 200),
  c("--data", shipped_csv, "--columns", "date_utc,max_wind_kt,stderr_kt", "--series", "200")),
  given_error = list(function(d) shipped_csv,
                     list(columns = c("time_decimal_year", "max_wind_kt"), standard_error = 10,
                          threshold = 96, series = 300),
                     c("--data", shipped_csv, "--columns", "time_decimal_year,max_wind_kt",
                       "--se", "10", "--threshold", "96", "--series", "300")),
  data_frame = list(function(d) made_up_events(),
                    list(columns = c("when", "Mw", "se"), threshold = 6.5,
                         interval = c(1950, 2020), name = "quakes.csv", series = 200),
                    c("--data", "quakes.csv", "--columns", "when,Mw,se", "--threshold",
                      "6.5", "--interval", "1950", "2020", "--series", "200")),
  labels = list(function(d) made_up_events(),
                list(columns = c("when", "Mw", "se"), threshold = 6.5, interval = c(1950, 2020),
                     name = "quakes.csv", labels = "place", series = 200),
                c("--data", "quakes.csv", "--columns", "when,Mw,se", "--threshold", "6.5",
                  "--interval", "1950", "2020", "--labels", "place", "--series", "200"))
)

test_that("a study gives the command line's JSON, text, tables, figure and results file", {
  report_program()
  for (case in names(cases)) {
    directory <- withr::local_tempdir()
    utils::write.csv(made_up_events(), file.path(directory, "quakes.csv"), row.names = FALSE)
    data <- cases[[case]][[1L]](directory)
    options <- cases[[case]][[2L]]
    arguments <- cases[[case]][[3L]]
    s <- withr::with_dir(directory, do.call(study, c(list(data), options)))

    json <- run_report(c(arguments, "--json", "--no-figure", "--csv", "tables", "--html",
                         "report.html"), directory)
    expect_identical(to_json(s), json, label = case)
    expect_identical(to_html(s), read_bytes(file.path(directory, "report.html")), label = case)
    text <- run_report(arguments, directory)  # with the figure, whose row the summary adds
    expect_identical(capture.output(print(s)), grep("^Figure ", strsplit(text, "\n")[[1L]],
                                                    value = TRUE, invert = TRUE), label = case)
    expect_identical(to_svg(s), read_bytes(file.path(directory, "Zorvireport.svg")), label = case)
    write_results(s, file.path(directory, "written.dat"))
    expect_identical(read_bytes(file.path(directory, "written.dat")),
                     read_bytes(file.path(directory, "study-results.dat")), label = case)
    csv <- tools::file_path_sans_ext(dir(file.path(directory, "tables")))
    frames <- tables(s)
    expect_setequal(names(frames), csv)
    for (name in csv) {
      expected <- utils::read.csv(file.path(directory, "tables", paste0(name, ".csv")),
                                  check.names = FALSE)
      expect_identical(frames[[name]], expected, label = paste(case, name))
    }
    expect_identical(as.data.frame(s), frames$tests)
    if (requireNamespace("knitr", quietly = TRUE)) {
      expect_identical(unclass(knitr::knit_print(s)), to_html(s, fragment = TRUE),
                       ignore_attr = TRUE)
    }
    # The values under the JSON's names, and the series of the results file.
    document <- jsonlite::fromJSON(json)
    expect_identical(s$observed$u, document$observed$u, label = case)
    expect_identical(s$simulated$share_p_below_005, document$simulated$share_p_below_005)
    expect_identical(s$series$m, frames$series$m)
  }
})

test_that("a study writes the program's results file as it goes, and only when whole", {
  directory <- withr::local_tempdir()
  results <- file.path(directory, "Zorviresult.dat")
  s <- study(shipped_dat, results = results, keep_series = FALSE)
  golden <- Sys.getenv("ZORVI_SOURCE_DIR")
  if (nzchar(golden)) {
    expect_identical(read_bytes(results),
                     read_bytes(file.path(golden, "tests", "golden", "Zorviresult.dat")))
  }
  expect_identical(s$files$results, results)
  expect_null(s$series)
  expect_error(write_results(s, file.path(directory, "again.dat")), class = "zorvi_error")
  expect_identical(dir(directory), "Zorviresult.dat")
})

test_that("every statistic equals the study's", {
  s <- study(shipped_csv, series = 100)
  events <- utils::read.csv(shipped_csv)
  major <- events$time_decimal_year[events$max_wind_kt >= 113]
  observed <- s$observed
  tests <- observed$tests

  cox <- cox_lewis(major, shipped_interval)
  expect_identical(unname(c(cox$parameter, cox$statistic, cox$p.value)),
                   c(observed$m, observed$u, observed$p))
  expect_identical(cox_lewis(major, shipped_interval, "two.sided")$p.value, observed$p_two_sided)
  expect_equal(cox_lewis(major, shipped_interval, "less")$p.value, 1 - observed$p)
  fit <- trend_fit(major, shipped_interval)
  ratio <- observed$rate_ratio_per_decade
  expect_identical(unname(c(fit$estimate, fit$conf.int)),
                   c(ratio$estimate, ratio$conf_low, ratio$conf_high))
  expect_identical(fit$beta, observed$beta_per_year$estimate)
  wider <- trend_fit(major, shipped_interval, conf.level = 0.99)$conf.int
  expect_true(wider[1L] < fit$conf.int[1L] && wider[2L] > fit$conf.int[2L])
  mil <- mil_hdbk_189(major, shipped_interval)
  expect_identical(unname(c(mil$statistic, mil$p.value, mil$estimate, mil$conf.int)),
                   unlist(tests[3L, c("statistic", "p_value", "estimate", "conf_low",
                                      "conf_high")], use.names = FALSE))
  lr <- lewis_robinson(major, shipped_interval)
  expect_identical(unname(c(lr$statistic, lr$p.value)),
                   unlist(tests[4L, c("statistic", "p_value")], use.names = FALSE))
  expect_identical(detectable_rate_ratio(observed$m, shipped_interval)$rate.ratio,
                   observed$detectable_rate_ratio_per_decade)
  clustering <- s$clustering$observed
  expect_identical(unname(dispersion(major, shipped_interval)$statistic), clustering$pearson_chi2)
  expect_identical(c(quasi_poisson_trend(major, shipped_interval)$p.value,
                     negative_binomial_trend(major, shipped_interval)$p.value,
                     permutation_trend(major, shipped_interval)$p.value),
                   clustering$tests$p_value)
  # R's own views: a data frame per test, and one row for the study.
  if (requireNamespace("broom", quietly = TRUE)) {
    expect_identical(broom::tidy(cox)$p.value, observed$p)
    # The four tests, then the three that allow for clustering, rising and two-sided.
    clustered <- s$clustering$observed$tests
    expect_identical(broom::tidy(s)$p.value,
                     c(tests$p_value, as.vector(rbind(clustered$p_value,
                                                      clustered$p_value_two_sided))))
    expect_identical(broom::glance(s)$share_p_below_005, s$simulated$share_p_below_005$share)
  }
  expect_output(print(cox), "u = 1.5833, m = 6, p-value = 0.05668")
  expect_output(print(summary(s)), "Observed series     m = 6, u = 1.583, P = 0.05668")
})
