"""Zorvi: trend tests on dated events with uncertain magnitudes.

Each statistic takes the event times (a list, NumPy array or pandas Series) and the test's
interval; ``study`` runs the whole analysis of ``zorvi-report`` (the observed series, and
series simulated with perturbed magnitudes) and gives the same numbers, text, JSON, tables,
results file and figure as the command line for the same data and options.
"""

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
    "CoxLewisResult",
    "LewisRobinsonResult",
    "MilHdbk189Result",
    "SHIPPED_COLUMNS",
    "Study",
    "TrendFitResult",
    "Values",
    "cox_lewis",
    "detectable_rate_ratio",
    "lewis_robinson",
    "mil_hdbk_189",
    "study",
    "trend_fit",
]
