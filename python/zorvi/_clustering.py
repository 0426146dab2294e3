"""Clustering of event times: the events counted in bins, the dispersion of the counts around
the log-linear trend (is the Poisson model right?), and trend tests that hold when events
cluster, as result objects."""

from dataclasses import dataclass, field, fields
from typing import Dict, Optional

import numpy as np

from . import _core
from ._statistics import _times, _whole

# The bins with 0, 1, 2 and 3 or more events, as the dispersion check tallies them.
_BIN_CLASSES = ("0", "1", "2", ">=3")


def _frozen(values, dtype):
    array = np.asarray(values, dtype=dtype)
    array.setflags(write=False)
    return array


def _short(array):
    return np.array2string(array, separator=", ", threshold=12, edgeitems=3)


@dataclass(frozen=True, eq=False)
class BinnedCounts:
    """The events counted in bins of ``bin_width`` from the interval's start.

    Bin k covers [start + k W, min(start + (k+1) W, end)); an event at the end falls in the
    last bin. Attributes, one value a bin as read-only NumPy arrays: ``lower`` and ``upper``
    (its edges), ``exposure`` (its length over W: 1 for whole bins), ``centre`` (the middle of
    the part of the interval it covers) and ``counts``; and ``events``, ``start``, ``end``,
    ``bin_width``. ``to_frame()`` gives them as a pandas DataFrame.
    """

    lower: np.ndarray
    upper: np.ndarray
    exposure: np.ndarray
    centre: np.ndarray
    counts: np.ndarray
    events: int
    start: float
    end: float
    bin_width: float

    @property
    def bins(self) -> int:
        return len(self.counts)

    def to_frame(self):
        """The bins as a DataFrame: columns lower, upper, exposure, centre and count."""
        try:
            import pandas
        except ImportError:
            raise ImportError(
                "BinnedCounts.to_frame() needs pandas: install it (Debian: apt install "
                "python3-pandas)"
            ) from None
        return pandas.DataFrame(
            {
                "lower": self.lower,
                "upper": self.upper,
                "exposure": self.exposure,
                "centre": self.centre,
                "count": self.counts,
            }
        )

    def __repr__(self) -> str:
        return (
            f"BinnedCounts(bins={self.bins}, events={self.events}, start={self.start!r}, "
            f"end={self.end!r}, bin_width={self.bin_width!r}, counts={_short(self.counts)})"
        )


@dataclass(frozen=True)
class DispersionCheck:
    """The dispersion of the binned counts around the log-linear trend fitted to them.

    The Poisson model log mu_k = log(exposure_k) + alpha + beta centre_k is fitted by maximum
    likelihood; ``statistic`` is Pearson's chi-square of the counts around it, ``df`` = K - 2,
    ``phi`` = chi-square / df (1 for a Poisson process; above 1 when events cluster) and
    ``pvalue`` the upper tail of chi-square(df), as R's ``glm(family = poisson)`` gives them.
    Also: ``bins`` (K), ``events``, ``beta`` and ``standard_error`` (of the fit, per time
    unit), ``autocorrelation_lag1`` (of the Pearson residuals, from one bin to the next),
    ``observed_bins`` and ``expected_bins`` (the bins with "0", "1", "2" and ">=3" events,
    observed and expected under the fit) and ``fitted`` (mu per bin). ``reason`` says why the
    check cannot be made (fewer than 3 bins, no event, a fit without a finite maximum), its
    numbers then NaN; it is empty when the check was made.
    """

    statistic: float
    pvalue: float
    df: float
    phi: float
    bins: int
    events: int
    beta: float
    standard_error: float
    autocorrelation_lag1: float
    observed_bins: Dict[str, int]
    expected_bins: Dict[str, float]
    fitted: np.ndarray = field(repr=False, compare=False)
    reason: str = ""


@dataclass(frozen=True)
class ClusteredTrendTest:
    """A test for a rising rate of binned counts that allows for clustering.

    ``method`` is "quasi-Poisson", "negative binomial" or "permutation". Attributes:
    ``statistic`` (t, the likelihood-ratio statistic, or sum centre_k count_k), ``pvalue`` (one
    sided: a rising rate), ``pvalue_two_sided``, and where they apply (None where not): ``df``,
    ``estimate`` (beta per time unit) with its ``standard_error``, ``size`` and ``size_null``
    (the negative binomial size with and without the trend, inf in the Poisson limit),
    ``poisson_limit`` and ``permutations``. ``reason`` says why the test cannot be made, its
    numbers then NaN; it is empty when the test was made. The repr leaves out what does not
    apply.
    """

    method: str
    statistic: float
    pvalue: float
    pvalue_two_sided: float
    df: Optional[float] = None
    estimate: Optional[float] = None
    standard_error: Optional[float] = None
    size: Optional[float] = None
    size_null: Optional[float] = None
    poisson_limit: Optional[bool] = None
    permutations: Optional[int] = None
    reason: str = ""

    def __repr__(self) -> str:
        shown = (
            f"{f.name}={getattr(self, f.name)!r}"
            for f in fields(self)
            if getattr(self, f.name) not in (None, "")
        )
        return f"ClusteredTrendTest({', '.join(shown)})"


def _bin_arguments(times, start, end, bin_width):
    return _times(times), float(start), float(end), float(bin_width)


def _test(method, values, *applying):
    reason, statistic, df, p, p_two_sided, beta, se, size, size_null, limit, permutations = values
    given = {
        "df": df,
        "estimate": beta,
        "standard_error": se,
        "size": size,
        "size_null": size_null,
        "poisson_limit": limit,
        "permutations": permutations,
    }
    return ClusteredTrendTest(
        method, statistic, p, p_two_sided, reason=reason, **{k: given[k] for k in applying}
    )


def binned_counts(times, start: float, end: float, bin_width: float = 1.0) -> BinnedCounts:
    """The event ``times`` counted in bins of ``bin_width`` over [``start``, ``end``].

    ``times`` is a sequence of decimal years (list, NumPy array or pandas Series), each within
    the interval. Bin k covers [start + k W, min(start + (k+1) W, end)), an event at the end in
    the last bin. Raises ValueError as ``cox_lewis`` does, and for a bin width that is not a
    finite positive number giving 2 to 10^6 bins.
    """
    arguments = _bin_arguments(times, start, end, bin_width)
    lower, upper, exposure, centre, counts, events = _core.binned_counts(*arguments)
    return BinnedCounts(
        _frozen(lower, np.float64),
        _frozen(upper, np.float64),
        _frozen(exposure, np.float64),
        _frozen(centre, np.float64),
        _frozen(counts, np.int64),
        events,
        *arguments[1:],
    )


def dispersion(times, start: float, end: float, bin_width: float = 1.0) -> DispersionCheck:
    """Whether the event ``times``, counted in bins, vary more than a Poisson process allows.

    Counts the times in bins as ``binned_counts`` does, fits the log-linear trend to the counts
    and tests the Pearson dispersion around it (``DispersionCheck`` says how). Raises
    ValueError as ``binned_counts`` does; a check that cannot be made says why in ``reason``.
    """
    (reason, bins, events, beta, se, chi2, df, phi, p, autocorrelation, fitted, observed,
     expected) = _core.dispersion(*_bin_arguments(times, start, end, bin_width))
    return DispersionCheck(
        chi2,
        p,
        df,
        phi,
        bins,
        events,
        beta,
        se,
        autocorrelation,
        dict(zip(_BIN_CLASSES, observed)),
        dict(zip(_BIN_CLASSES, expected)),
        _frozen(fitted, np.float64),
        reason,
    )


def quasi_poisson_trend(
    times, start: float, end: float, bin_width: float = 1.0
) -> ClusteredTrendTest:
    """The quasi-Poisson test for a trend in the binned counts of the event ``times``.

    t = beta / (SE(beta) sqrt(phi)), beta and SE from the Poisson fit and phi the Pearson
    dispersion (see ``dispersion``), against Student's t with K - 2 degrees of freedom, as R's
    ``glm(family = quasipoisson)``. Raises ValueError as ``binned_counts`` does.
    """
    values = _core.quasi_poisson_trend(*_bin_arguments(times, start, end, bin_width))
    return _test("quasi-Poisson", values, "df", "estimate", "standard_error")


def negative_binomial_trend(
    times, start: float, end: float, bin_width: float = 1.0
) -> ClusteredTrendTest:
    """The negative binomial likelihood-ratio test for a trend in the binned counts.

    The counts of the event ``times`` (variance mu + mu^2 / size) are fitted with and without
    the trend, each model with its own maximum-likelihood size, as ``anova`` of two
    ``MASS::glm.nb`` fits; the one-sided P comes from the signed root of the statistic. Where
    the likelihood keeps rising with the size (no overdispersion), the model is the Poisson
    limit: ``size`` is inf, ``poisson_limit`` True, and the test the Poisson likelihood-ratio
    test. Raises ValueError as ``binned_counts`` does.
    """
    values = _core.negative_binomial_trend(*_bin_arguments(times, start, end, bin_width))
    applying = ("df", "estimate", "standard_error", "size", "size_null", "poisson_limit")
    return _test("negative binomial", values, *applying)


def permutation_trend(
    times,
    start: float,
    end: float,
    bin_width: float = 1.0,
    permutations: int = 9999,
    seed: int = _core.program_seed,
) -> ClusteredTrendTest:
    """The permutation test for a trend in the binned counts of the event ``times``.

    Over the whole bins (a partial last bin left out), the statistic sum centre_k count_k
    against ``permutations`` (1 to 10^7) random permutations of the counts: P = (1 + the
    number at least as large) / (permutations + 1). The permutations are drawn with a
    generator of their own started from ``seed`` (by default the program's seed), so the same
    seed gives the same P. Ctrl-C (KeyboardInterrupt) stops a long test within about 0.1 s.
    Raises TypeError when ``permutations`` or ``seed`` is not a whole number, ValueError when
    one lies out of range, and as ``binned_counts`` does.
    """
    permutations = _whole(permutations, "permutations")
    seed = _whole(seed, "seed")
    if not 1 <= permutations <= _core.max_permutations:
        raise ValueError(
            f"permutations: the number of permutations must be from 1 to "
            f"{_core.max_permutations}, not {permutations}"
        )
    if not -(2**63) <= seed < 2**63:
        raise ValueError(
            f"seed: the seed must be a whole number from {-(2**63)} to {2**63 - 1}, not {seed}"
        )
    values = _core.permutation_trend(
        *_bin_arguments(times, start, end, bin_width), permutations, seed
    )
    return _test("permutation", values, "permutations")
