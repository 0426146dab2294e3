"""The clustering checks against R's numbers on the shipped data."""

import os
import pathlib

import pandas
import pytest

import zorvi

SOURCE = pathlib.Path(os.environ.get("ZORVI_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
A, B = 1980.417, 2018.917

# R 4.2.2 with MASS 7.3 on data/us-hurricane-landfalls-1980-2018.csv, in yearly bins from A
# (tests/report_clustering_test.cpp gives the whole script):
#   fit <- glm(y ~ centre + offset(log(exposure)), family = poisson, control = ctl)
#   x2 <- sum(residuals(fit, "pearson")^2); pchisq(x2, df.residual(fit), lower.tail = FALSE)
#   qp <- glm(y ~ centre + offset(log(exposure)), family = quasipoisson, control = ctl)
#   tq <- coef(summary(qp))[2, 3]; pt(tq, 37, lower.tail = FALSE); 2 * pt(-abs(tq), 37)
#   nb1 <- glm.nb(y ~ centre + offset(log(exposure)), control = ctl)
#   nb0 <- glm.nb(y ~ 1 + offset(log(exposure)), control = ctl)
#   a <- anova(nb0, nb1); a[2, "LR stat."]; a[2, "Pr(Chi)"]
#   pnorm(sign(coef(nb1)[2]) * sqrt(a[2, "LR stat."]), lower.tail = FALSE)
# threshold: (chi2, dispersion P), quasi-Poisson (t, P, two-sided P, SE), negative binomial
# (LR, P, two-sided P, beta, SE, size, size without the trend)
R_REFERENCE = {
    64: (
        (66.71948915, 0.001957158386),
        (0.4540075524, 0.3262377291, 0.6524754582, 0.0156327207543),
        (0.2812470756, 0.2979425009, 0.5958850019, 0.00807553008248, 0.0149360436055,
         2.332796223, 2.302944332),
    ),
    102: (
        (66.83001548, 0.001903517614),
        (1.426380709, 0.08107119812, 0.1621423962, 0.0410559622419),
        (2.124480047, 0.07248098329, 0.1449619666, 0.0680228385358, 0.0453366235271,
         0.2231204814, 0.1674196532),
    ),
    113: (
        (43.19818338, 0.2235111491),
        (1.432256803, 0.08023253442, 0.1604650688, 0.0459980603891),
        (2.250303908, 0.06679408221, 0.1335881644, 0.0627731104116, 0.0445667324121,
         1.213878143, 0.5138110746),
    ),
}


@pytest.mark.parametrize("threshold", R_REFERENCE)
def test_clustering_checks_agree_with_r(threshold):
    events = pandas.read_csv(SOURCE / "data" / "us-hurricane-landfalls-1980-2018.csv")
    times = events.loc[events["max_wind_kt"] >= threshold, "time_decimal_year"]
    dispersion, quasi, negative = R_REFERENCE[threshold]

    def close(value):
        return pytest.approx(value, rel=2e-7)

    check = zorvi.dispersion(times, A, B)
    assert (check.reason, check.bins, check.df, check.events) == ("", 39, 37.0, len(times))
    assert (check.statistic, check.pvalue) == close(dispersion)
    assert check.phi == close(dispersion[0] / 37)

    qp = zorvi.quasi_poisson_trend(times.to_numpy(), A, B)
    assert (qp.method, qp.df, qp.reason) == ("quasi-Poisson", 37.0, "")
    assert (qp.statistic, qp.pvalue, qp.pvalue_two_sided, qp.standard_error) == close(quasi)
    assert qp.estimate == check.beta and qp.size is None and qp.permutations is None

    nb = zorvi.negative_binomial_trend(list(times), A, B)
    assert (nb.method, nb.df, nb.poisson_limit, nb.reason) == ("negative binomial", 1.0, False, "")
    assert (
        nb.statistic, nb.pvalue, nb.pvalue_two_sided, nb.estimate, nb.standard_error, nb.size,
        nb.size_null,
    ) == close(negative)

    # The bins as counted, and the dispersion's fit over them.
    bins = zorvi.binned_counts(times, A, B).to_frame()
    assert len(bins) == 39 and bins["count"].sum() == len(times)
    assert (bins["lower"].iloc[-1], bins["upper"].iloc[-1], bins["exposure"].iloc[-1]) == (
        close((2018.417, B, 0.5))
    )
    assert sum(check.observed_bins.values()) == 39
    assert check.fitted.sum() == close(len(times))  # the maximum-likelihood fit keeps the total

    # The permutations: the same seed, the same P; reprs show what applies.
    permutation = zorvi.permutation_trend(times, A, B, permutations=999, seed=7)
    assert permutation == zorvi.permutation_trend(times, A, B, permutations=999, seed=7.0)
    assert permutation.permutations == 999 and 1 / 1000 <= permutation.pvalue <= 1
    assert repr(permutation).startswith("ClusteredTrendTest(method='permutation', statistic=")
    assert "size" not in repr(permutation) and "size=" in repr(nb)


def test_a_check_that_cannot_be_made_says_why():
    check = zorvi.dispersion([], A, B)
    nb = zorvi.negative_binomial_trend([], A, B)
    assert check.reason == nb.reason == "no selected event"
    assert pandas.isna([check.phi, check.pvalue, nb.statistic, nb.pvalue]).all()
