# broom's tidy() and glance() for a study, registered when the package generics is loaded.

#' Tidy a study for broom
#'
#' `tidy()` gives one row per trend test of the observed series (the tests table with
#' broom's column names) and `glance()` one row with the study's main numbers. Both are
#' methods for the generics of the package generics (which broom uses), registered when it is
#' installed.
#'
#' @param x A study made by [study()].
#' @param ... Unused.
#' @return A data frame. `tidy()`: `method`, `alternative`, `statistic`, `p.value`,
#'   `estimate_of`, `estimate`, `conf.low`, `conf.high`, and the share of simulated series
#'   with P < 0.05 (`simulated_share_p_below_005`, `simulated_conf.low`,
#'   `simulated_conf.high`). `glance()`: `events`, `threshold`, `start`, `end`, `series`,
#'   `seed`, `m`, `statistic` (u), `p.value`, `share_p_below_005`, `share_conf.low`,
#'   `share_conf.high`, `expected_m`, `rate_ratio_per_decade` and
#'   `detectable_rate_ratio_per_decade`.
#' @examples
#' if (requireNamespace("generics", quietly = TRUE)) {
#'   s <- study(zorvi_example("us-hurricane-landfalls-1980-2018.csv"), series = 100)
#'   generics::tidy(s)
#'   generics::glance(s)
#' }
#' @name tidy.zorvi_study
#' @exportS3Method generics::tidy
tidy.zorvi_study <- function(x, ...) {
  tests <- as.data.frame(x)
  names(tests) <- c("method", "alternative", "statistic", "p.value", "estimate_of", "estimate",
                    "conf.low", "conf.high", "simulated_share_p_below_005",
                    "simulated_conf.low", "simulated_conf.high")
  tests
}

#' @rdname tidy.zorvi_study
#' @exportS3Method generics::glance
glance.zorvi_study <- function(x, ...) {
  s <- x$settings
  share <- x$simulated$share_p_below_005
  data.frame(
    events = s$events, threshold = s$threshold, start = s$start, end = s$end,
    series = s$series, seed = s$seed, m = x$observed$m, statistic = x$observed$u,
    p.value = x$observed$p, share_p_below_005 = share$share, share_conf.low = share$conf_low,
    share_conf.high = share$conf_high, expected_m = x$expected_m,
    rate_ratio_per_decade = x$observed$rate_ratio_per_decade$estimate,
    detectable_rate_ratio_per_decade = x$observed$detectable_rate_ratio_per_decade
  )
}
