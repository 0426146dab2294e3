"""Statistics of event times over the test's interval [start, end], as result objects."""

from dataclasses import dataclass
import math
from typing import Tuple

import numpy as np

from . import _core


def _times(times):
    """The times as a one-dimensional array of doubles (ValueError for anything else)."""
    values = np.asarray(times, dtype=np.float64)
    if values.ndim != 1:
        raise ValueError("times must be a one-dimensional sequence of numbers")
    return np.ascontiguousarray(values)


def _whole(value, name):
    """``value`` as an int when it is a whole number: an int, a NumPy integer or a float without
    a fraction. TypeError for anything else (a bool, a fraction, a string, NaN)."""
    if isinstance(value, (int, np.integer)) and not isinstance(value, (bool, np.bool_)):
        return int(value)
    if isinstance(value, (float, np.floating)) and math.isfinite(value) and value == int(value):
        return int(value)
    raise TypeError(f"{name} must be a whole number (an int), not {value!r}")


@dataclass(frozen=True)
class CoxLewisResult:
    """The Cox-Lewis test of a trend in the rate of events.

    Attributes: ``m`` (the number of events), ``statistic`` (u, positive for a rising rate),
    ``pvalue`` (the program's P, 1 - Phi(|u|)) and ``pvalue_two_sided``.
    """

    m: int
    statistic: float
    pvalue: float
    pvalue_two_sided: float


@dataclass(frozen=True)
class TrendFitResult:
    """The log-linear rate lambda0 exp(beta t) fitted by maximum likelihood to the times.

    Attributes: ``beta_per_year``, ``rate_ratio_per_decade`` (exp(10 beta)), ``conf_int`` (the
    profile-likelihood interval of the rate ratio per decade), ``beta_conf_int`` (that of beta)
    and ``confidence_level``.
    """

    beta_per_year: float
    rate_ratio_per_decade: float
    conf_int: Tuple[float, float]
    beta_conf_int: Tuple[float, float]
    confidence_level: float


@dataclass(frozen=True)
class MilHdbk189Result:
    """The MIL-HDBK-189 test: 2 sum ln((b - a) / (t - a)), chi-square with 2m degrees of freedom.

    Attributes: ``statistic``, ``pvalue`` (its lower tail: small for an increasing rate),
    ``shape`` (1 for a constant rate) and ``shape_conf_int`` (its 95 % interval).
    """

    statistic: float
    pvalue: float
    shape: float
    shape_conf_int: Tuple[float, float]


@dataclass(frozen=True)
class LewisRobinsonResult:
    """The Lewis-Robinson test: u over the coefficient of variation of the gaps between times.

    Attributes: ``statistic`` and ``pvalue`` (one-sided, normal; NaN for fewer than two events).
    """

    statistic: float
    pvalue: float


def cox_lewis(times, start: float, end: float) -> CoxLewisResult:
    """The Cox-Lewis test of the event ``times`` over the interval [``start``, ``end``].

    ``times`` is a sequence of decimal years (list, NumPy array or pandas Series), each within
    the interval. Raises ValueError for an interval without a finite positive width, or a time
    that is not finite or lies outside it.
    """
    m, u, p, p_two_sided = _core.cox_lewis(_times(times), float(start), float(end))
    return CoxLewisResult(m, u, p, p_two_sided)


def trend_fit(times, start: float, end: float, confidence_level: float = 0.95) -> TrendFitResult:
    """The trend fitted to the event ``times`` over [``start``, ``end``], given their number.

    The interval holds the rates whose log-likelihood lies within the chi-square quantile of
    ``confidence_level`` (between 0 and 1) over 2 of the maximum. Raises ValueError as
    ``cox_lewis`` does, and for a confidence level outside (0, 1).
    """
    beta, ratio, beta_low, beta_high, low, high = _core.trend_fit(
        _times(times), float(start), float(end), float(confidence_level)
    )
    return TrendFitResult(beta, ratio, (low, high), (beta_low, beta_high), float(confidence_level))


def mil_hdbk_189(times, start: float, end: float) -> MilHdbk189Result:
    """The MIL-HDBK-189 test of the event ``times`` over [``start``, ``end``], with its shape.

    Raises ValueError as ``cox_lewis`` does.
    """
    statistic, p, shape, low, high = _core.mil_hdbk_189(_times(times), float(start), float(end))
    return MilHdbk189Result(statistic, p, shape, (low, high))


def lewis_robinson(times, start: float, end: float) -> LewisRobinsonResult:
    """The Lewis-Robinson test of the event ``times`` over [``start``, ``end``].

    Raises ValueError as ``cox_lewis`` does.
    """
    statistic, p = _core.lewis_robinson(_times(times), float(start), float(end))
    return LewisRobinsonResult(statistic, p)


def detectable_rate_ratio(
    m: int, start: float, end: float, power: float = 0.8, alpha: float = 0.05
) -> float:
    """The rate ratio per decade that the one-sided Cox-Lewis test at ``alpha`` detects.

    Detects with probability ``power`` among ``m`` events over [``start``, ``end``]; computed
    exactly up to 1000 events. Raises TypeError when ``m`` is not a whole number, ValueError
    for a negative ``m``, a power outside (0, 1) or an alpha outside (0, 0.5).
    """
    m = _whole(m, "m")
    if not 0 <= m < 2**31:
        raise ValueError(f"m: the number of events must be from 0 to 2147483647, not {m}")
    return _core.detectable_rate_ratio(m, float(start), float(end), float(power), float(alpha))
