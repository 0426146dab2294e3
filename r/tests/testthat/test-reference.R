# The statistics against R's own computations of the same formulas.

events <- utils::read.csv(shipped_csv)
times_at <- function(threshold) events$time_decimal_year[events$max_wind_kt >= threshold]

test_that("the Cox-Lewis test equals its formula and the normal tail computed in R", {
  a <- shipped_interval[1L]
  b <- shipped_interval[2L]
  for (threshold in c(64, 96, 113, 137)) {
    t <- times_at(threshold)
    m <- length(t)
    u <- (mean(t) - (a + b) / 2) / ((b - a) * sqrt(1 / (12 * m)))
    for (alternative in c("greater", "less", "two.sided")) {
      test <- cox_lewis(t, shipped_interval, alternative)
      expected <- switch(alternative,
        greater = pnorm(u, lower.tail = FALSE),
        less = pnorm(u),
        two.sided = 2 * pnorm(-abs(u))
      )
      expect_equal(unname(test$statistic), u, tolerance = 1e-10)  # mean - centre cancels
      # The program's error function is within about 1e-7 of the exact tail.
      expect_equal(test$p.value, expected, tolerance = 2e-7, label = paste(threshold, alternative))
    }
  }
})

test_that("the fitted trend and its interval equal a maximum-likelihood fit in R", {
  h <- diff(shipped_interval) / 2
  centre <- mean(shipped_interval)
  for (threshold in c(64, 104, 113)) {
    s <- times_at(threshold) - centre
    # The log-likelihood of beta given m times, sum(beta s) - m log(sinh(beta h) / (beta h)),
    # is largest where its score, sum(s) - m (h coth(beta h) - 1 / beta), is 0.
    loglik <- function(beta) sum(beta * s) - length(s) * log(sinh(beta * h) / (beta * h))
    score <- function(beta) mean(s) - (h / tanh(beta * h) - 1 / beta)
    beta <- uniroot(score, c(-1, 1), tol = 1e-15)$root
    drop <- function(b) loglik(beta) - loglik(b) - qchisq(0.95, 1) / 2
    low <- uniroot(drop, c(-1, beta), tol = 1e-15)$root
    high <- uniroot(drop, c(beta, 1), tol = 1e-15)$root
    fit <- trend_fit(s + centre, shipped_interval)
    expect_equal(fit$beta, beta, tolerance = 1e-9)
    expect_equal(fit$beta.conf.int, c(low, high), tolerance = 1e-9, ignore_attr = TRUE)
    expect_equal(unname(fit$estimate), exp(10 * fit$beta))
  }
})

test_that("MIL-HDBK-189 and Lewis-Robinson equal their formulas computed in R", {
  a <- shipped_interval[1L]
  b <- shipped_interval[2L]
  for (threshold in c(64, 113)) {
    t <- times_at(threshold)
    m <- length(t)
    statistic <- 2 * sum(log((b - a) / (t - a)))
    mil <- mil_hdbk_189(t, shipped_interval)
    expect_equal(unname(mil$statistic), statistic, tolerance = 1e-13)
    expect_equal(mil$p.value, pchisq(statistic, 2 * m), tolerance = 1e-12)
    expect_equal(unname(mil$estimate), 2 * m / statistic, tolerance = 1e-13)
    gaps <- diff(c(a, sort(t)))
    u <- unname(cox_lewis(t, shipped_interval)$statistic)
    z <- u / (sd(gaps) / mean(gaps))
    lr <- lewis_robinson(t, shipped_interval)
    expect_equal(unname(lr$statistic), z, tolerance = 1e-12)
    expect_equal(lr$p.value, pnorm(z, lower.tail = FALSE), tolerance = 1e-12)
  }
})

# The shipped events at `threshold` counted in one-year bins from the interval's start, as the
# clustering tests count them, with each bin's exposure and centre.
binned <- function(threshold) {
  a <- shipped_interval[1L]
  b <- shipped_interval[2L]
  k <- ceiling(b - a)
  lower <- a + 0:(k - 1)
  upper <- pmin(a + 1:k, b)
  t <- times_at(threshold)
  data.frame(count = tabulate(pmin(floor(t - a), k - 1) + 1, k), exposure = upper - lower,
             centre = (lower + upper) / 2)
}

test_that("the dispersion and the quasi-Poisson test equal R's glm", {
  control <- glm.control(epsilon = 1e-14, maxit = 100)
  for (threshold in c(64, 102, 113)) {
    bins <- binned(threshold)
    t <- times_at(threshold)
    fit <- glm(count ~ centre + offset(log(exposure)), family = poisson, data = bins,
               control = control)
    chi2 <- sum(residuals(fit, "pearson")^2)
    d <- dispersion(t, shipped_interval)
    expect_equal(unname(d$statistic), chi2, tolerance = 1e-7)
    expect_equal(unname(d$parameter), df.residual(fit))
    expect_equal(d$p.value, pchisq(chi2, df.residual(fit), lower.tail = FALSE),
                 tolerance = 1e-7)
    expect_equal(d$bins$fitted, unname(fitted(fit)), tolerance = 1e-7)
    expect_identical(d$bins$count, as.double(bins$count))
    expect_identical(d$table$observed, as.double(tabulate(pmin(bins$count, 3) + 1, 4)))

    quasi <- glm(count ~ centre + offset(log(exposure)), family = quasipoisson, data = bins,
                 control = control)
    coefficients <- coef(summary(quasi))["centre", ]
    qp <- quasi_poisson_trend(t, shipped_interval)
    expect_equal(unname(qp$statistic), unname(coefficients["t value"]), tolerance = 1e-7)
    expect_equal(unname(qp$estimate), unname(coefficients["Estimate"]), tolerance = 1e-7)
    expect_equal(qp$stderr, unname(coefficients["Std. Error"]), tolerance = 1e-7)
    expect_equal(quasi_poisson_trend(t, shipped_interval, alternative = "two.sided")$p.value,
                 unname(coefficients["Pr(>|t|)"]), tolerance = 1e-7)
    expect_equal(qp$p.value, pt(coefficients[["t value"]], df.residual(quasi),
                                lower.tail = FALSE), tolerance = 1e-7)
  }
})

test_that("the negative binomial test equals MASS::glm.nb where it converges", {
  skip_if_not_installed("MASS")
  control <- glm.control(epsilon = 1e-14, maxit = 100)
  for (threshold in c(64, 102, 113)) {
    bins <- binned(threshold)
    with_trend <- MASS::glm.nb(count ~ centre + offset(log(exposure)), data = bins,
                               control = control)
    without <- MASS::glm.nb(count ~ 1 + offset(log(exposure)), data = bins, control = control)
    lr <- anova(without, with_trend)
    nb <- negative_binomial_trend(times_at(threshold), shipped_interval)
    expect_false(nb$poisson_limit)
    expect_equal(unname(nb$statistic), lr[2L, "LR stat."], tolerance = 1e-6)
    expect_equal(negative_binomial_trend(times_at(threshold), shipped_interval,
                                         alternative = "two.sided")$p.value,
                 lr[2L, "Pr(Chi)"], tolerance = 1e-6)
    expect_equal(unname(nb$estimate), unname(coef(with_trend)["centre"]), tolerance = 1e-6)
    expect_equal(c(nb$size, nb$size_null), c(with_trend$theta, without$theta), tolerance = 1e-6)
  }
})

test_that("the permutation test agrees with all permutations of a small case", {
  # Five whole bins; the exact P is the share of the 120 orderings of the counts whose sum of
  # centre * count is at least the observed one.
  t <- c(0.5, 2.5, 3.5, 3.6, 4.5, 4.6, 4.7)
  counts <- c(1, 0, 1, 2, 3)
  centre <- 0:4 + 0.5
  orderings <- function(x) {
    if (length(x) <= 1L) return(list(x))
    do.call(c, lapply(seq_along(x), function(i) lapply(orderings(x[-i]), function(r) c(x[i], r))))
  }
  sums <- vapply(orderings(counts), function(y) sum(centre * y), numeric(1))
  exact <- mean(sums >= sum(centre * counts) - 1e-9)
  test <- permutation_trend(t, c(0, 5), permutations = 1e6)
  expect_equal(unname(test$statistic), sum(centre * counts))
  expect_lt(abs(test$p.value - exact), 0.002)  # 10^6 draws: a standard error of 0.00025
})
