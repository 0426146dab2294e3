# The clustering checks as R's test objects: the events counted in bins of `bin_width` from
# the interval's start, the dispersion of the counts around the log-linear trend, and the
# trend tests that allow for clustering. The numbers are the library's.

clustered_alternatives <- c("greater", "two.sided")

# `method`, with the reason why the test could not be made, if it could not.
with_reason <- function(method, reason) {
  if (nzchar(reason)) paste0(method, " (not made: ", reason, ")") else method
}

clustered_test <- function(values, alternative, statistic, parameter, method, data_name) {
  structure(list(
    statistic = stats::setNames(values$statistic, statistic),
    parameter = parameter,
    p.value = if (alternative == "greater") values$p_value else values$p_value_two_sided,
    estimate = c(beta = values$estimate),
    null.value = no_trend,
    stderr = values$standard_error,
    alternative = alternative,
    method = with_reason(method, values$reason),
    data.name = data_name
  ), class = "htest")
}

#' The dispersion of binned counts around the log-linear trend
#'
#' Counts the events in bins of `bin_width` from the interval's start (bin k covers
#' \eqn{[a + kW, \min(a + (k+1)W, b))}, an event at the end in the last bin), fits the
#' Poisson model \eqn{\log \mu_k = \log(\mathrm{exposure}_k) + \alpha + \beta\,
#' \mathrm{centre}_k} by maximum likelihood, and tests whether the counts vary more than a
#' Poisson process with that trend allows: Pearson's \eqn{\chi^2} of the counts around the
#' fit, \eqn{\phi = \chi^2 / (K - 2)}, and the upper tail of \eqn{\chi^2} with \eqn{K - 2}
#' degrees of freedom, as `glm(count ~ centre + offset(log(exposure)), family = poisson)`
#' gives them. Events that cluster (in active seasons, say) make \eqn{\phi} greater than 1,
#' and the trend tests that assume a Poisson process too confident.
#'
#' @inheritParams cox_lewis
#' @param bin_width The bins' width, in the times' unit: 2 to 10^6 bins over the interval.
#' @return An object of class `htest`: `statistic` (Pearson's \eqn{\chi^2}), `parameter`
#'   (its degrees of freedom), `p.value`, `estimate` (\eqn{\phi}), `null.value`,
#'   `alternative`, `method` and `data.name`; and `autocorrelation_lag1` (of the Pearson
#'   residuals from one bin to the next), `beta` and `standard_error` (of the Poisson fit, per
#'   time unit), `table` (the bins with 0, 1, 2 and 3 or more events, observed and expected
#'   under the fit) and `bins` (each bin's `lower` and `upper` edge, `exposure`, `centre`,
#'   `count` and `fitted` mean). With fewer than 3 bins, no event, or a fit without a finite
#'   maximum the check cannot be made: its numbers are `NaN` and `method` says why.
#' @seealso [quasi_poisson_trend()], [negative_binomial_trend()] and
#'   [permutation_trend()], trend tests that allow for overdispersion.
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' t102 <- events$time_decimal_year[events$max_wind_kt >= 102]
#' d <- dispersion(t102, c(1980.417, 2018.917))
#' d
#' d$table
#' @export
dispersion <- function(times, interval, bin_width = 1) {
  input <- test_input(substitute(times), times, interval, bin_width)
  values <- checked(core_dispersion(input$times, input$start, input$end, input$bin_width))
  structure(list(
    statistic = c("X-squared" = values$pearson_chi2),
    parameter = c(df = values$df),
    p.value = values$p_value,
    estimate = c(phi = values$phi),
    null.value = c(phi = 1),
    alternative = "greater",
    method = with_reason("Dispersion of binned counts around the log-linear trend",
                         values$reason),
    data.name = input$name,
    autocorrelation_lag1 = values$autocorrelation_lag1,
    beta = values$beta,
    standard_error = values$standard_error,
    table = data.frame(events = c("0", "1", "2", ">=3"), observed = values$observed_bins,
                       expected = values$expected_bins),
    bins = as.data.frame(values$bins)
  ), class = "htest")
}

#' Trend tests that allow for clustering
#'
#' Three tests of a trend in the rate of events counted in bins (see [dispersion()]) that do
#' not assume a Poisson process:
#' * `quasi_poisson_trend()`: \eqn{t = \hat\beta / (\mathrm{SE}(\hat\beta) \sqrt\phi)}, the
#'   standard error from the Poisson fit, against Student's t with \eqn{K - 2} degrees of
#'   freedom (R's `glm(family = quasipoisson)`);
#' * `negative_binomial_trend()`: the likelihood-ratio test of \eqn{\beta = 0} between
#'   negative binomial models (variance \eqn{\mu + \mu^2/\mathrm{size}}), each with its own
#'   maximum-likelihood size (as `anova()` of two `MASS::glm.nb()` fits); where the likelihood
#'   keeps rising with the size (no overdispersion) the model is the Poisson limit and the test
#'   the Poisson likelihood-ratio test, and `method` says so;
#' * `permutation_trend()`: over the whole bins, \eqn{\sum \mathrm{centre}_k y_k} against
#'   `permutations` random permutations of the counts, \eqn{P = (1 + \#\{\ge\}) / (N + 1)},
#'   drawn with a generator of their own started from `seed`. Many permutations of many bins
#'   take a while: an interrupt stops the test within about 0.1 s.
#'
#' @inheritParams dispersion
#' @param alternative `"greater"` (a rising rate, the default) or `"two.sided"`.
#' @param permutations The number of random permutations, from 1 to 10^7.
#' @param seed The permutations' seed, a whole number (by default the study's).
#' @return An object of class `htest`: `statistic` (t, the likelihood-ratio statistic, or the
#'   sum), `parameter`, `p.value`, `estimate` (\eqn{\beta} per time unit, with `stderr`),
#'   `null.value`, `alternative`, `method` and `data.name`; the negative binomial test adds
#'   `size` and `size_null` (each model's size, `Inf` in the Poisson limit) and
#'   `poisson_limit`. A test that cannot be made has `NaN` numbers and says why in `method`.
#' @examples
#' events <- read.csv(zorvi_example("us-hurricane-landfalls-1980-2018.csv"))
#' t102 <- events$time_decimal_year[events$max_wind_kt >= 102]
#' quasi_poisson_trend(t102, c(1980.417, 2018.917))
#' negative_binomial_trend(t102, c(1980.417, 2018.917))
#' permutation_trend(t102, c(1980.417, 2018.917), permutations = 999)
#' @name clustered_trend_tests
NULL

#' @rdname clustered_trend_tests
#' @export
quasi_poisson_trend <- function(times, interval, bin_width = 1,
                                alternative = c("greater", "two.sided")) {
  alternative <- choose(alternative, clustered_alternatives, "alternative")
  input <- test_input(substitute(times), times, interval, bin_width)
  values <- checked(core_quasi_poisson_trend(input$times, input$start, input$end, input$bin_width))
  clustered_test(values, alternative, "t", c(df = values$df),
                 "Quasi-Poisson test for a trend in binned counts", input$name)
}

#' @rdname clustered_trend_tests
#' @export
negative_binomial_trend <- function(times, interval, bin_width = 1,
                                    alternative = c("greater", "two.sided")) {
  alternative <- choose(alternative, clustered_alternatives, "alternative")
  input <- test_input(substitute(times), times, interval, bin_width)
  values <- checked(core_negative_binomial_trend(input$times, input$start, input$end, input$bin_width))
  method <- "Negative binomial likelihood-ratio test for a trend in binned counts"
  if (values$poisson_limit) {
    method <- paste0(method, ", in the Poisson limit (no overdispersion)")
  }
  test <- clustered_test(values, alternative, "LR", c(df = values$df), method, input$name)
  test$size <- values$size
  test$size_null <- values$size_null
  test$poisson_limit <- values$poisson_limit
  test
}

#' @rdname clustered_trend_tests
#' @export
permutation_trend <- function(times, interval, bin_width = 1, permutations = 9999,
                              seed = -206761862, alternative = c("greater", "two.sided")) {
  alternative <- choose(alternative, clustered_alternatives, "alternative")
  input <- test_input(substitute(times), times, interval, bin_width)
  permutations <- whole_number(permutations, "permutations", 1, 1e7, "1 to 10^7")
  seed <- whole_number(seed, "seed", -2^53, 2^53, "-2^53 to 2^53")
  values <- checked(core_permutation_trend(input$times, input$start, input$end, input$bin_width,
                                           permutations, seed))
  clustered_test(values, alternative, "sum of centre * count",
                 c(permutations = values$permutations),
                 "Permutation test for a trend in binned counts", input$name)
}
