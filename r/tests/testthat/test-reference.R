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
