# The trend tests of event times over the test's interval, as R's test objects ("htest"), and
# the power of the Cox-Lewis test ("power.htest"). The numbers are the library's.

alternatives <- c("greater", "two.sided", "less")

# One of `choices` (the first by default), or a zorvi_error naming the argument.
choose <- function(x, choices, name, call = sys.call(-1L)) {
  if (identical(x, choices)) {
    return(choices[1L])
  }
  if (!is.character(x) || length(x) != 1L || !(x %in% choices)) {
    zorvi_abort(sprintf("`%s` must be one of %s, not %s", name,
                        paste0("\"", choices, "\"", collapse = ", "), describe(x)), call = call)
  }
  x
}

# The P of `alternative` from a one-sided P in the statistic's own direction (`own`, the
# program's rule: small for a large |statistic| of either sign) and the sign of the rise
# (`rising`: TRUE when the statistic points to a rising rate, NA when undefined).
tail_p <- function(own, rising, alternative) {
  if (is.na(rising)) {
    return(NaN)
  }
  switch(alternative,
    two.sided = min(1, 2 * own),
    greater = if (rising) own else 1 - own,
    less = if (rising) 1 - own else own
  )
}

# A test's checked times, interval and (for the clustering tests) bin width, and how its
# result names them (`expression`: the times as the caller wrote them).
test_input <- function(expression, times, interval, bin_width = NULL, call = sys.call(-1L)) {
  times <- check_times(times, call = call)
  interval <- check_interval(interval, call = call)
  name <- paste(deparse1(expression), "over", format(interval[1L], digits = 15L), "to",
                format(interval[2L], digits = 15L))
  if (!is.null(bin_width)) {
    bin_width <- single_number(bin_width, "bin_width", call = call)
    name <- paste(name, "in bins of", format(bin_width, digits = 15L))
  }
  list(times = times, start = interval[1L], end = interval[2L], bin_width = bin_width,
       name = name)
}

no_trend <- c(beta = 0)

#' The Cox-Lewis test for a trend in the rate of events
#'
#' Tests the event times for a log-linear trend in their rate, \eqn{\lambda(t) =
#' \exp(\alpha + \beta t)}, against a constant rate (\eqn{\beta = 0}), given their number
#' \eqn{m}: \eqn{u = (\bar t - (a + b)/2) / ((b - a) \sqrt{1 / (12 m)})} is standard normal
#' under a constant rate. This is the test of the study, with the same numbers.
#'
#' @param times Event times in decimal years (or as dates, date-times or ISO 8601 text, as
#'   [study()] takes them), each within `interval`.
#' @param interval The test's interval `c(start, end)`, given the same ways.
#' @param alternative `"greater"` (a rising rate, the default), `"two.sided"` or `"less"`.
#' @return An object of class `htest`: `statistic` (u), `parameter` (m), `p.value`,
#'   `null.value`, `alternative`, `method` and `data.name`. With `alternative = "greater"`
#'   and a rising trend, `p.value` is the study's P (the program's `1 - Phi(|u|)`, from its own
#'   error function, within about 1e-7 of the exact normal tail); the two-sided P is twice it.
#'   Without an event, u and P are `NaN`.
#' @seealso [study()], which applies the test to the observed and to every simulated series.
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' major <- events$time_decimal_year[events$max_wind_kt >= 113]
#' cox_lewis(major, c(1980.417, 2018.917))
#' cox_lewis(major, c(1980.417, 2018.917), alternative = "two.sided")$p.value
#' @export
cox_lewis <- function(times, interval, alternative = c("greater", "two.sided", "less")) {
  alternative <- choose(alternative, alternatives, "alternative")
  input <- test_input(substitute(times), times, interval)
  values <- checked(core_cox_lewis(input$times, input$start, input$end))
  u <- values[2L]
  structure(list(
    statistic = c(u = u),
    parameter = c(m = values[1L]),
    p.value = tail_p(values[3L], if (is.nan(u)) NA else u >= 0, alternative),
    null.value = no_trend,
    alternative = alternative,
    method = "Cox-Lewis test for a trend in the rate of events",
    data.name = input$name
  ), class = "htest")
}

#' The trend in the rate of events, fitted by maximum likelihood
#'
#' Fits the log-linear rate \eqn{\lambda_0 \exp(\beta t)} to the event times given their
#' number, over the test's interval, and gives the rate ratio per decade
#' \eqn{\exp(10 \beta)} with its profile-likelihood confidence interval: the \eqn{\beta} whose
#' log-likelihood lies within half the chi-square(1) quantile of `conf.level` of the maximum.
#'
#' @inheritParams cox_lewis
#' @param conf.level The confidence level of the interval, between 0 and 1.
#' @return An object of class `htest` with `estimate` (the rate ratio per decade),
#'   `conf.int`, `beta` and `beta.conf.int` (\eqn{\beta} per year and its interval),
#'   `method` and `data.name`. No event: `NaN`; every time at one end: an infinite
#'   \eqn{\beta} and no interval (`NaN`).
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' major <- events$time_decimal_year[events$max_wind_kt >= 113]
#' trend_fit(major, c(1980.417, 2018.917))
#' @export
trend_fit <- function(times, interval, conf.level = 0.95) {
  input <- test_input(substitute(times), times, interval)
  conf.level <- check_probability(conf.level, "conf.level")
  values <- checked(core_trend_fit(input$times, input$start, input$end, conf.level))
  structure(list(
    estimate = c("rate ratio per decade" = values[2L]),
    conf.int = structure(values[5:6], conf.level = conf.level),
    beta = values[1L],
    beta.conf.int = structure(values[3:4], conf.level = conf.level),
    method = "Log-linear rate fitted by maximum likelihood, profile-likelihood interval",
    data.name = input$name
  ), class = "htest")
}

#' The MIL-HDBK-189 test for a trend in the rate of events
#'
#' The power-law (Crow-AMSAA) test: \eqn{2 \sum \ln((b - a) / (t - a))} is chi-square with
#' \eqn{2m} degrees of freedom under a constant rate, and small for a rising one; the shape
#' \eqn{m / \sum \ln((b - a) / (t - a))} is 1 for a constant rate.
#'
#' @inheritParams cox_lewis
#' @param alternative `"greater"` (a rising rate: a shape above 1, the lower tail of the
#'   statistic, the default), `"two.sided"` or `"less"`.
#' @return An object of class `htest`: `statistic`, `parameter` (the degrees of freedom),
#'   `p.value`, `estimate` (the shape) with its 95 % `conf.int`, `null.value`,
#'   `alternative`, `method` and `data.name`.
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' major <- events$time_decimal_year[events$max_wind_kt >= 113]
#' mil_hdbk_189(major, c(1980.417, 2018.917))
#' @export
mil_hdbk_189 <- function(times, interval, alternative = c("greater", "two.sided", "less")) {
  alternative <- choose(alternative, alternatives, "alternative")
  input <- test_input(substitute(times), times, interval)
  values <- checked(core_mil_hdbk_189(input$times, input$start, input$end))
  lower <- values[2L]  # the lower tail: small for a rising rate
  structure(list(
    statistic = c("X-squared" = values[1L]),
    parameter = c(df = 2 * length(input$times)),
    p.value = switch(alternative,
      greater = lower,
      less = 1 - lower,
      two.sided = min(1, 2 * min(lower, 1 - lower))
    ),
    estimate = c(shape = values[3L]),
    conf.int = structure(values[4:5], conf.level = 0.95),
    null.value = c(shape = 1),
    alternative = alternative,
    method = "MIL-HDBK-189 test for a trend in the rate of events",
    data.name = input$name
  ), class = "htest")
}

#' The Lewis-Robinson test for a trend in the rate of events
#'
#' The Cox-Lewis statistic divided by the coefficient of variation of the gaps between
#' successive times (the first from the interval's start), standard normal under a renewal
#' process of constant rate: a test that allows for gaps more or less regular than a Poisson
#' process's.
#'
#' @inheritParams cox_lewis
#' @return An object of class `htest`: `statistic` (z), `parameter` (m), `p.value`,
#'   `null.value`, `alternative`, `method` and `data.name`. It needs two events; with fewer,
#'   z and P are `NaN`.
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' major <- events$time_decimal_year[events$max_wind_kt >= 113]
#' lewis_robinson(major, c(1980.417, 2018.917))
#' @export
lewis_robinson <- function(times, interval, alternative = c("greater", "two.sided", "less")) {
  alternative <- choose(alternative, alternatives, "alternative")
  input <- test_input(substitute(times), times, interval)
  values <- checked(core_lewis_robinson(input$times, input$start, input$end))
  z <- values[1L]
  structure(list(
    statistic = c(z = z),
    parameter = c(m = length(input$times)),
    p.value = tail_p(values[2L], if (is.nan(z)) NA else z >= 0, alternative),
    null.value = no_trend,
    alternative = alternative,
    method = "Lewis-Robinson test for a trend in the rate of events",
    data.name = input$name
  ), class = "htest")
}

#' The rate ratio that the Cox-Lewis test detects
#'
#' The rate ratio per decade that the one-sided Cox-Lewis test at `sig.level` detects with
#' probability `power` among `m` events over the interval, from the exact distribution of the
#' sum of `m` times under a log-linear rate (up to 1000 events; beyond, its normal
#' approximation). No random numbers are drawn.
#'
#' @param m The number of events, a whole number from 0.
#' @inheritParams cox_lewis
#' @param power The probability of detecting the trend, between 0 and 1.
#' @param sig.level The test's significance level, between 0 and 0.5.
#' @return An object of class `power.htest` with `m`, `interval`, `power`, `sig.level`,
#'   `rate.ratio` (per decade), `method` and `note`.
#' @examples
#' detectable_rate_ratio(6, c(1980.417, 2018.917))
#' @export
detectable_rate_ratio <- function(m, interval, power = 0.8, sig.level = 0.05) {
  m <- whole_number(m, "m", 0, .Machine$integer.max, "0 to 2^31 - 1")
  interval <- check_interval(interval)
  power <- check_probability(power, "power")
  sig.level <- check_probability(sig.level, "sig.level", high = 0.5)
  ratio <- checked(core_detectable_rate_ratio(as.integer(m), interval[1L], interval[2L],
                                              power, sig.level))
  structure(list(
    m = m,
    interval = interval,
    power = power,
    sig.level = sig.level,
    rate.ratio = ratio,
    method = "Power of the one-sided Cox-Lewis test",
    note = paste("rate.ratio is per decade, the ratio detected with probability `power`;",
                 if (m <= 1000) "exact" else "normal approximation")
  ), class = "power.htest")
}
