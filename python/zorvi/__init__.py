"""Zorvi: trend tests on dated events with uncertain magnitudes.

Each statistic takes the event times (a list, NumPy array or pandas Series) and the test's
interval; the clustering checks (``dispersion`` and the trend tests that allow for clustering)
count the times in bins of a width too. ``study`` runs the whole analysis of ``zorvi-report``
(the observed series, and series simulated with perturbed magnitudes) and gives the same
numbers, text, JSON, tables, results file and figure as the command line for the same data and
options.
"""

from ._clustering import (
    BinnedCounts,
    ClusteredTrendTest,
    DispersionCheck,
    binned_counts,
    dispersion,
    negative_binomial_trend,
    permutation_trend,
    quasi_poisson_trend,
)
from ._statistics import (
    CoxLewisResult,
    LewisRobinsonResult,
    MilHdbk189Result,
    TrendFitResult,
    cox_lewis,
    detectable_rate_ratio,
    lewis_robinson,
    mil_hdbk_189,
    trend_fit,
)
from ._study import SHIPPED_COLUMNS, Study, Values, study

__version__ = "1.0"

__all__ = [
    "BinnedCounts",
    "ClusteredTrendTest",
    "CoxLewisResult",
    "DispersionCheck",
    "LewisRobinsonResult",
    "MilHdbk189Result",
    "SHIPPED_COLUMNS",
    "Study",
    "TrendFitResult",
    "Values",
    "binned_counts",
    "cox_lewis",
    "detectable_rate_ratio",
    "dispersion",
    "lewis_robinson",
    "mil_hdbk_189",
    "negative_binomial_trend",
    "permutation_trend",
    "quasi_poisson_trend",
    "study",
    "trend_fit",
]
