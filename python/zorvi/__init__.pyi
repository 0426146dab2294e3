# Type stubs of the package zorvi, for editors and type checkers.
import datetime
import os
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
SHIPPED_COLUMNS: Tuple[str, str, str]

Times = Union[Sequence[float], npt.ArrayLike]
PathLike = Union[str, bytes, os.PathLike]
# A time: a decimal year, or an ISO 8601 date or date-time as text or as a date or datetime.
TimeValue = Union[float, str, datetime.date]

class CoxLewisResult:
    m: int
    statistic: float
    pvalue: float
    pvalue_two_sided: float
    def __init__(self, m: int, statistic: float, pvalue: float, pvalue_two_sided: float) -> None: ...

class TrendFitResult:
    beta_per_year: float
    rate_ratio_per_decade: float
    conf_int: Tuple[float, float]
    beta_conf_int: Tuple[float, float]
    confidence_level: float
    def __init__(
        self,
        beta_per_year: float,
        rate_ratio_per_decade: float,
        conf_int: Tuple[float, float],
        beta_conf_int: Tuple[float, float],
        confidence_level: float,
    ) -> None: ...

class MilHdbk189Result:
    statistic: float
    pvalue: float
    shape: float
    shape_conf_int: Tuple[float, float]
    def __init__(
        self, statistic: float, pvalue: float, shape: float, shape_conf_int: Tuple[float, float]
    ) -> None: ...

class LewisRobinsonResult:
    statistic: float
    pvalue: float
    def __init__(self, statistic: float, pvalue: float) -> None: ...

def cox_lewis(times: Times, start: float, end: float) -> CoxLewisResult: ...
def trend_fit(
    times: Times, start: float, end: float, confidence_level: float = 0.95
) -> TrendFitResult: ...
def mil_hdbk_189(times: Times, start: float, end: float) -> MilHdbk189Result: ...
def lewis_robinson(times: Times, start: float, end: float) -> LewisRobinsonResult: ...
def detectable_rate_ratio(
    m: int, start: float, end: float, power: float = 0.8, alpha: float = 0.05
) -> float: ...

class BinnedCounts:
    lower: npt.NDArray[np.float64]
    upper: npt.NDArray[np.float64]
    exposure: npt.NDArray[np.float64]
    centre: npt.NDArray[np.float64]
    counts: npt.NDArray[np.int64]
    events: int
    start: float
    end: float
    bin_width: float
    @property
    def bins(self) -> int: ...
    def to_frame(self) -> Any: ...

class DispersionCheck:
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
    fitted: npt.NDArray[np.float64]
    reason: str

class ClusteredTrendTest:
    method: str
    statistic: float
    pvalue: float
    pvalue_two_sided: float
    df: Optional[float]
    estimate: Optional[float]
    standard_error: Optional[float]
    size: Optional[float]
    size_null: Optional[float]
    poisson_limit: Optional[bool]
    permutations: Optional[int]
    reason: str

def binned_counts(
    times: Times, start: float, end: float, bin_width: float = 1.0
) -> BinnedCounts: ...
def dispersion(
    times: Times, start: float, end: float, bin_width: float = 1.0
) -> DispersionCheck: ...
def quasi_poisson_trend(
    times: Times, start: float, end: float, bin_width: float = 1.0
) -> ClusteredTrendTest: ...
def negative_binomial_trend(
    times: Times, start: float, end: float, bin_width: float = 1.0
) -> ClusteredTrendTest: ...
def permutation_trend(
    times: Times,
    start: float,
    end: float,
    bin_width: float = 1.0,
    permutations: int = 9999,
    seed: int = -206761862,
) -> ClusteredTrendTest: ...

class Values(Dict[str, Any]):
    def __getattr__(self, key: str) -> Any: ...

class Study:
    def summary(self, results: Optional[PathLike] = None) -> str: ...
    def to_json(self, results: Optional[PathLike] = None) -> str: ...
    def to_dict(self) -> Dict[str, Any]: ...
    def tables(self) -> Dict[str, Any]: ...
    def to_svg(self) -> str: ...
    def _repr_svg_(self) -> str: ...
    def to_html(self, results: Optional[PathLike] = None) -> str: ...
    def _repr_html_(self) -> str: ...
    def write_results(self, path: PathLike) -> None: ...
    @property
    def m(self) -> npt.NDArray[np.int32]: ...
    @property
    def u(self) -> npt.NDArray[np.float64]: ...
    @property
    def p(self) -> npt.NDArray[np.float64]: ...
    @property
    def rate_ratios(self) -> npt.NDArray[np.float64]: ...
    @property
    def observed(self) -> Values: ...
    @property
    def simulated(self) -> Values: ...
    @property
    def settings(self) -> Values: ...
    @property
    def events(self) -> List[Dict[str, Any]]: ...
    @property
    def sweeps(self) -> Values: ...
    @property
    def clustering(self) -> Values: ...
    @property
    def check(self) -> Values: ...
    @property
    def files(self) -> Values: ...
    @property
    def expected_m(self) -> float: ...

def study(
    data: Union[PathLike, Any, Tuple[Times, Times, Times], Tuple[Times, Times]],
    *,
    columns: Optional[Sequence[str]] = None,
    threshold: float = 113.0,
    interval: Tuple[TimeValue, TimeValue] = (1980.417, 2018.917),
    series: int = 2000,
    seed: int = -206761862,
    progress: Union[None, bool, Callable[[int, int], Any]] = None,
    results: Optional[PathLike] = None,
    keep_series: Optional[bool] = None,
    name: Optional[str] = None,
    error_model: str = "observed",
    floor: Optional[float] = None,
    prior_scale: Optional[float] = None,
    se: Optional[float] = None,
    labels: Optional[str] = None,
    bin_width: Optional[float] = None,
) -> Study: ...
