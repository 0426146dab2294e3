"""A whole study: the observed series and the simulated ones, with every output of the report."""

import io
import json
import math
import os
from typing import Any, Dict, Optional

from . import _core
from ._statistics import _times, _whole

#: The shipped table's time, magnitude and standard-error columns.
SHIPPED_COLUMNS = ("time_decimal_year", "max_wind_kt", "stderr_kt")

# Up to this many series a study keeps each one's m, u and P unless told otherwise; beyond it the
# study's memory stays bounded, as the command line's does.
_KEEP_LIMIT = 100_000


class Values(dict):
    """A part of the study's JSON document: a dict whose keys are also attributes."""

    def __getattr__(self, key):
        try:
            value = self[key]
        except KeyError:
            raise AttributeError(key) from None
        return Values(value) if isinstance(value, dict) else value


class Study:
    """A finished study: every number of its analysis, and the report's outputs of it.

    The analysis values carry the JSON document's names: ``observed`` (m, u, p, p_two_sided,
    the fitted trend and the tests), ``simulated``, ``settings``, ``events``, ``sweeps``,
    ``clustering``, ``check``, ``files`` and ``expected_m``. ``m``, ``u``, ``p`` and ``rate_ratios`` are NumPy
    arrays over the simulated series, when the study kept them.

    ``summary()`` and ``to_json()`` name the results file as the command line does: the
    ``results`` path given to ``study``, else ``study-results.dat``; both are those of
    ``zorvi-report --no-figure`` (a report that writes a figure adds a "Figure" row and names
    the figure in the JSON).
    """

    def __init__(self, core, results_name: str):
        self._core = core
        self._results_name = results_name
        self._dict: Optional[Dict[str, Any]] = None

    def summary(self, results: Optional[str] = None) -> str:
        """The text summary, byte for byte as ``zorvi-report --no-figure`` prints it.

        ``results`` names the results file in it (default: as the study was given).
        """
        return self._core.summary(self._results_name if results is None else os.fspath(results))

    def to_json(self, results: Optional[str] = None) -> str:
        """The JSON document, byte for byte as ``zorvi-report --json --no-figure`` prints it."""
        return self._core.json(self._results_name if results is None else os.fspath(results))

    def to_dict(self) -> Dict[str, Any]:
        """The JSON document as Python objects (a fresh copy)."""
        return json.loads(self.to_json())

    def tables(self) -> Dict[str, Any]:
        """The tables of ``zorvi-report --csv`` as pandas DataFrames, by name without ``.csv``.

        ``tests``, ``events``, ``m_counts``, ``series`` (when the series were kept),
        ``sweep_threshold`` and ``sweep_start_year``, each read as pandas reads the CSV file.
        Raises ImportError when pandas is not installed.
        """
        try:
            import pandas
        except ImportError as error:
            raise ImportError(
                "Study.tables() needs pandas: install it (Debian: apt install python3-pandas)"
            ) from error
        return {
            name[: -len(".csv")]: pandas.read_csv(io.StringIO(text))
            for name, text in self._core.tables()
        }

    def to_svg(self) -> str:
        """The figure, byte for byte as ``zorvi-report`` writes ``Zorvireport.svg``."""
        return self._core.svg()

    def _repr_svg_(self) -> str:
        """The figure, shown inline by a notebook."""
        return self.to_svg()

    def to_html(self, results: Optional[str] = None) -> str:
        """The whole report as one self-contained HTML page.

        Byte for byte the page of ``zorvi-report --html FILE --no-figure``: the answer in plain
        words first, then every section of the summary with its tables and the figure's panels,
        the numbers those of ``summary()``. ``results`` names the results file in it.
        """
        name = self._results_name if results is None else os.fspath(results)
        return self._core.html(name, False)

    def _repr_html_(self) -> str:
        """The whole report, shown inline by a notebook: one element, its styles scoped to it."""
        return self._core.html(self._results_name, True)

    def write_results(self, path) -> None:
        """Writes the results file at ``path`` in the program's format, whole or not at all.

        Byte for byte the command line's results file; needs the series kept. Raises OSError
        when the file cannot be written (nothing is left behind).
        """
        self._core.write_results(os.fspath(path))

    def _series(self, name):
        if not self._core.series_kept:
            raise ValueError(
                "the study did not keep its series: run it with keep_series=True "
                f"(series up to {_KEEP_LIMIT} are kept by default)"
            )
        return getattr(self._core, name)

    @property
    def m(self):
        """The number of selected events of each simulated series (NumPy int32 array)."""
        return self._series("m")

    @property
    def u(self):
        """The Cox-Lewis u of each simulated series (NaN without a selected event)."""
        return self._series("u")

    @property
    def p(self):
        """The program's P of each simulated series (NaN without a selected event)."""
        return self._series("p")

    @property
    def rate_ratios(self):
        """The fitted rate ratio per decade of each simulated series (NaN without a fit)."""
        return self._series("rate_ratios")

    def _part(self, key):
        if self._dict is None:
            self._dict = self.to_dict()
        value = self._dict[key]
        return Values(value) if isinstance(value, dict) else value

    @property
    def observed(self) -> Values:
        """The observed series: m, u, p, p_two_sided, the fitted trend, the tests."""
        return self._part("observed")

    @property
    def simulated(self) -> Values:
        """The simulated series: u's summary, shares with P below 0.05 and 0.10, m counts, tests."""
        return self._part("simulated")

    @property
    def settings(self) -> Values:
        """The study's settings: events, threshold, start, end, series, seed, quantiles."""
        return self._part("settings")

    @property
    def events(self) -> list:
        """Each event with its magnitude, selection and share of the simulated series."""
        return self._part("events")

    @property
    def sweeps(self) -> Values:
        """The threshold and start-year sweeps."""
        return self._part("sweeps")

    @property
    def clustering(self) -> Values:
        """The check of clustering: the bins, their dispersion around the fitted trend, the
        trend tests that allow for clustering, and the simulated series' phi and shares."""
        return self._part("clustering")

    @property
    def check(self) -> Values:
        """The check of the results records against the recomputed series."""
        return self._part("check")

    @property
    def files(self) -> Values:
        """How the outputs name the results file, the data and the figure."""
        return self._part("files")

    @property
    def expected_m(self) -> float:
        """The expected number of selected events: the sum of the selection probabilities."""
        return self._part("expected_m")

    def __repr__(self) -> str:
        o = self.observed
        return (
            f"<zorvi.Study of {self.settings.series} series: observed m = {o.m}, "
            f"u = {o.u}, P = {o.p}>"
        )


def _as_double(whole):
    """A whole number for the core, which checks its range: beyond any range it checks, kept
    beyond it."""
    return float(max(-(2**63), min(2**63, whole)))


def _nonempty_path(path, name):
    path = os.fsdecode(path)
    if path == "":
        raise ValueError(f"{name}: the path is empty; name a file")
    return path


def _time(value, name):
    """A time as a decimal year: a number, or an ISO 8601 date or date-time (a string, or a
    date, datetime or Timestamp)."""
    if isinstance(value, str) or hasattr(value, "isoformat"):
        text = value if isinstance(value, str) else value.isoformat()
        try:
            return _core.decimal_year(text)
        except ValueError as error:
            raise ValueError(f"{name}: {error}") from None
    return float(value)


def _columns(columns, se):
    names = tuple(columns)
    counts = (2, 3) if se is not None else (3,)
    if len(names) not in counts or not all(isinstance(name, str) for name in names):
        raise ValueError(
            "columns must name three columns: time, magnitude and standard error (or two, "
            f"time and magnitude, with se=X), not {columns!r}"
        )
    return list(names)


def _is_dataframe(data) -> bool:
    return type(data).__module__.startswith("pandas") and hasattr(data, "columns")


def _row_labels(index):
    """The index's labels for messages; none for the default 0, 1, 2, ..., which the positions
    say already."""
    if type(index).__name__ == "RangeIndex" and index.start == 0 and index.step == 1:
        return []
    return [str(label) for label in index]


def _time_column(column, name, labels):
    """A DataFrame's time column as decimal years, and its times as written when they are
    ISO 8601 texts or datetimes (taken to UTC; without a zone they are UTC)."""
    import pandas

    if pandas.api.types.is_datetime64_any_dtype(column):
        if getattr(column.dt, "tz", None) is not None:
            column = column.dt.tz_convert("UTC")
        column = column.dt.strftime("%Y-%m-%dT%H:%M:%S.%f")
    elif pandas.api.types.is_numeric_dtype(column):
        return _times(column), []
    texts = [
        value if isinstance(value, str) else None if pandas.isna(value) else str(value)
        for value in column
    ]
    return _core.decimal_years(texts, labels, name), texts


def _event_labels(data, labels):
    """A DataFrame's labels of its events and their column: the column ``labels`` names, or
    one called "name"; none without either."""
    column = "name" if labels is None else labels
    if column not in data.columns:
        if labels is None:
            return [], ""
        raise ValueError(
            f"labels: the DataFrame has no column {labels!r} (its columns: "
            f"{', '.join(map(str, data.columns))})"
        )
    return ["" if _missing(value) else str(value) for value in data[column]], str(column)


def _missing(value):
    return value is None or (isinstance(value, float) and math.isnan(value))


def _events(data, columns, se, labels):
    """The core's events of ``data``, and how the outputs name them by default."""
    given = math.nan if se is None else float(se)
    if labels is not None and (not isinstance(labels, str) or labels == ""):
        raise TypeError(f"labels must name a column, not {labels!r}")
    if isinstance(data, (str, bytes, os.PathLike)):
        path = _nonempty_path(data, "data")
        names = None if columns is None else _columns(columns, se)
        return _core.read_events(path, names, given, labels), path
    if _is_dataframe(data):
        names = list(SHIPPED_COLUMNS) if columns is None else _columns(columns, se)
        missing = [name for name in names if name not in data.columns]
        if missing:
            raise ValueError(
                f"the DataFrame has no column {missing[0]!r} (its columns: "
                f"{', '.join(map(str, data.columns))})"
            )
        labels_column, labels = labels, _row_labels(data.index)
        times, written = _time_column(data[names[0]], names[0], labels)
        errors = _times(data[names[2]]) if len(names) == 3 else None
        shipped = names[1] == SHIPPED_COLUMNS[1]
        events = _core.events_from(
            times, _times(data[names[1]]), errors, shipped, given, labels, written,
            *_event_labels(data, labels_column),
        )
        return events, "events"
    if isinstance(data, (tuple, list)) and len(data) in ((2, 3) if se is not None else (3,)):
        if columns is not None or labels is not None:
            raise ValueError(
                "columns and labels name the columns of a file or DataFrame, not of a tuple"
            )
        values = [_times(values) for values in data]
        errors = values[2] if len(values) == 3 else None
        events = _core.events_from(values[0], values[1], errors, False, given, [], [], [], "")
        return events, "events"
    raise TypeError(
        "data must be a path, a pandas DataFrame, or a tuple of three sequences "
        "(times, magnitudes, standard errors; or two, with se=X), "
        f"not {type(data).__name__}"
    )


def _tqdm_progress():
    try:
        from tqdm import tqdm
    except ImportError as error:
        raise ImportError(
            "progress=True shows a tqdm bar: install tqdm (Debian: apt install python3-tqdm), "
            "or pass a callable progress(done, total)"
        ) from error
    bar = None

    def progress(done, total):
        nonlocal bar
        if bar is None:
            bar = tqdm(total=total, unit="series")
        bar.update(done - bar.n)
        if done == total:
            bar.close()

    def close():
        if bar is not None:
            bar.close()

    return progress, close


def study(
    data,
    *,
    columns=None,
    threshold: float = 113.0,
    interval=(1980.417, 2018.917),
    series: int = 2000,
    seed: int = -206761862,
    progress=None,
    results=None,
    keep_series: Optional[bool] = None,
    name: Optional[str] = None,
    error_model: str = "observed",
    floor: Optional[float] = None,
    prior_scale: Optional[float] = None,
    se: Optional[float] = None,
    labels: Optional[str] = None,
    bin_width: Optional[float] = None,
) -> Study:
    """Runs a whole study, as ``zorvi-report`` does with ``--data`` and the study options.

    Arguments:
      data: a path to a data file (read as ``zorvi-report --data`` reads it: a CSV table when
        its name ends in .csv or ``columns`` are given, else the program's free format); a
        pandas DataFrame; or a tuple of three equal-length sequences (times in decimal years,
        magnitudes, standard errors of the magnitudes; two, without the errors, with ``se``).
        A CSV table's or a DataFrame's time column may hold ISO 8601 dates or date-times
        (``"2017-08-26"``, ``"1985-09-27T11:00-05:00"``) or datetimes instead of decimal years.
      columns: the time, magnitude and standard-error columns of a CSV file or DataFrame;
        by default the shipped table's (``SHIPPED_COLUMNS``); with ``se``, two name a table
        without a standard-error column.
      threshold: the lowest magnitude selected.
      interval: the test's interval (start, end), decimal years or ISO 8601 times (strings,
        dates, datetimes); every time lies within it.
      series: the number of simulated series, a whole number from 1 to 10^9.
      seed: the seed word of the program's generator, a whole number from -2^31 to 2^31 - 1.
      progress: None; a callable ``progress(done, total)``, called about every 0.1 s and at
        the end; or True for a tqdm bar (needs tqdm).
      results: a path: the results file written there as the series are made, whole once the
        study ends or not at all (the command line's ``--results``).
      keep_series: keep each series' m, u and P (the arrays ``m``, ``u``, ``p``); by default
        up to 100000 series. Without them, memory stays bounded for any number of series.
      name: how the outputs name the data (default: the path, or "events").
      error_model: "observed" (the program's model: each observed magnitude moved by its
        error) or "posterior" (each event's true magnitude drawn given its observation, under
        an exponential population above a floor; the report then compares both models), as
        the command line's ``--error-model``.
      floor: the posterior model's floor L (default: the smallest magnitude).
      prior_scale: its prior scale theta (default: the mean excess of the magnitudes over L;
        ``math.inf`` gives the observed model back).
      se: the standard error of the events that have none: a table without that column, an
        empty cell of a CSV file, NaN in a DataFrame (the command line's ``--se``).
      labels: the column of a CSV file or DataFrame that names each event (the command line's
        ``--labels``); by default a column called "name", when there is one. The deciding
        events' table, the tables and the figure show the names, each at most 40 characters.
      bin_width: the width of the bins in which the clustering check counts the selected
        events, from the interval's start (default 1, a year; the command line's
        ``--bin-width``): finite, positive, 2 to 10^6 bins over the interval.

    Counts and seeds are whole numbers (int, NumPy integers, floats without a fraction); any
    other type raises TypeError. Messages name these arguments, and a DataFrame's row by its
    position (from 0) and its index label.
    The simulation runs with the interpreter's lock released; Ctrl-C stops it within a
    fraction of a second with KeyboardInterrupt, leaving no file behind. Bad input raises
    ValueError with the command line's message (file, line, event); a file that cannot be
    read or written raises OSError (FileNotFoundError for a missing file).
    """
    series = _whole(series, "series")
    seed = _whole(seed, "seed")
    events, source = _events(data, columns, se, labels)
    start, end = (_time(value, "interval") for value in interval)
    if keep_series is None:
        keep_series = series <= _KEEP_LIMIT
    close = None
    if progress is True:
        progress, close = _tqdm_progress()
    elif progress is False:
        progress = None
    elif progress is not None and not callable(progress):
        raise TypeError("progress must be None, True or a callable progress(done, total)")
    results_path = None if results is None else _nonempty_path(results, "results")
    try:
        core = _core.run_study(
            events,
            source if name is None else str(name),
            float(threshold),
            start,
            end,
            _as_double(series),
            _as_double(seed),
            progress,
            results_path,
            bool(keep_series),
            str(error_model),
            math.nan if floor is None else float(floor),
            math.nan if prior_scale is None else float(prior_scale),
            math.nan if bin_width is None else float(bin_width),
        )
    finally:
        if close is not None:
            close()
    return Study(core, "study-results.dat" if results_path is None else results_path)
