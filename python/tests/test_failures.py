"""Bad input, failed files and interruption: Python's own exceptions, nothing left behind."""

import os
import pathlib
import shutil
import signal
import sys
import threading

import numpy
import pandas
import pytest

import zorvi

SOURCE = pathlib.Path(os.environ.get("ZORVI_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SHIPPED_CSV = SOURCE / "data" / "us-hurricane-landfalls-1980-2018.csv"


def bad_csv(tmp):
    path = tmp / "bad.csv"
    path.write_text("time_decimal_year,max_wind_kt,stderr_kt\n1990.5,120,5\n1991.5,abc,5\n")
    return path


def outside(tmp):
    return ([1979.0, 2000.0], [120.0, 130.0], [5.0, 5.0])


# (what is called with a temporary directory, the exception, words its message holds)
BAD_INPUT = {
    "missing file": (
        lambda tmp: zorvi.study(tmp / "none.csv"),
        FileNotFoundError,
        "cannot open",
    ),
    "a directory": (lambda tmp: zorvi.study(tmp), IsADirectoryError, "Is a directory"),
    "bad CSV cell": (lambda tmp: zorvi.study(bad_csv(tmp)), ValueError, "bad.csv, line 3"),
    "time outside": (lambda tmp: zorvi.study(outside(tmp)), ValueError, "events, row 0: "),
    "NaN magnitude": (
        lambda tmp: zorvi.study(([1990.0], [float("nan")], [5.0])),
        ValueError,
        "row 0: the magnitude is NaN",
    ),
    "unequal lengths": (
        lambda tmp: zorvi.study(([1990.0, 1991.0], [120.0], [5.0])),
        ValueError,
        "differ in length",
    ),
    "missing column": (
        lambda tmp: zorvi.study(pandas.DataFrame({"t": [1990.0]})),
        ValueError,
        "no column 'time_decimal_year'",
    ),
    "reversed interval": (
        lambda tmp: zorvi.study(SHIPPED_CSV, interval=(2018.917, 1980.417)),
        ValueError,
        "interval",
    ),
    "no series": (
        lambda tmp: zorvi.study(SHIPPED_CSV, series=0),
        ValueError,
        "series: the number of series must be a whole number from 1 to 1000000000",
    ),
    "seed too wide": (
        lambda tmp: zorvi.study(SHIPPED_CSV, seed=2**70),
        ValueError,
        "seed: the seed must be a whole number from -2147483648 to 2147483647",
    ),
    "a DataFrame's row": (
        lambda tmp: zorvi.study(
            pandas.read_csv(SHIPPED_CSV).set_index("name"), interval=(1985.0, 2018.917)
        ),
        ValueError,
        "events, row 0 (index 'Allen'): the time 1980.608 lies outside the interval 1985 to "
        "2018.917; 3 of the 60 events do (interval=(A, B) sets the interval)",
    ),
    "an impossible date": (
        lambda tmp: zorvi.study(
            pandas.DataFrame({"t": ["1990-06-01", "2001-02-29"], "x": [1, 2], "s": [1, 1]}),
            columns=("t", "x", "s"),
        ),
        ValueError,
        "events, row 1: the time '2001-02-29' (column 't') is not a date: 2001-02 has 28 days",
    ),
    "an impossible interval": (
        lambda tmp: zorvi.study(SHIPPED_CSV, interval=("1980-06-01", "2018-12-01T24:00")),
        ValueError,
        "interval: '2018-12-01T24:00' is not a time of day",
    ),
    "a missing error without se": (
        lambda tmp: zorvi.study(([1990.5], [100.0], [float("nan")])),
        ValueError,
        "events, row 0: the standard error is NaN, not a finite number",
    ),
    "a negative se": (
        lambda tmp: zorvi.study(SHIPPED_CSV, se=-1.0),
        ValueError,
        "se: the standard error must be a finite number, 0 or more",
    ),
    "posterior floor": (
        lambda tmp: zorvi.study(SHIPPED_CSV, error_model="posterior", floor=70.0),
        ValueError,
        "(floor=X sets it)",
    ),
    "a bin width giving one bin": (
        lambda tmp: zorvi.study(SHIPPED_CSV, series=5, bin_width=40),
        ValueError,
        "bin_width: the bin width 40 must be a finite positive number that gives 2 to 1000000 "
        "bins over the interval 1980.417 to 2018.917",
    ),
    "an empty path": (lambda tmp: zorvi.study(""), ValueError, "data: the path is empty"),
    "an empty results path": (
        lambda tmp: zorvi.study(SHIPPED_CSV, results=""),
        ValueError,
        "results: the path is empty",
    ),
    "not data": (lambda tmp: zorvi.study(42), TypeError, "data must be"),
    "results into a directory": (
        lambda tmp: zorvi.study(SHIPPED_CSV, series=5, results=tmp),
        OSError,
        "not a regular file",
    ),
    "results over the data": (
        lambda tmp: zorvi.study(shutil.copy(SHIPPED_CSV, tmp), results=tmp / SHIPPED_CSV.name),
        ValueError,
        "would replace the study's data file",
    ),
    "results where no folder is": (
        lambda tmp: zorvi.study(SHIPPED_CSV, series=5).write_results(tmp / "no" / "r.dat"),
        FileNotFoundError,
        "r.dat",
    ),
    "time outside the test": (
        lambda tmp: zorvi.cox_lewis([1990.0, 2030.0], 1980.0, 2020.0),
        ValueError,
        "time 2 (2030)",
    ),
    "times of two dimensions": (
        lambda tmp: zorvi.lewis_robinson([[1990.0]], 1980.0, 2020.0),
        ValueError,
        "one-dimensional",
    ),
    "confidence level": (
        lambda tmp: zorvi.trend_fit([1990.0], 1980.0, 2020.0, confidence_level=1.5),
        ValueError,
        "confidence level",
    ),
    "negative m": (lambda tmp: zorvi.detectable_rate_ratio(-1, 1980, 2020), ValueError, "m"),
    "one bin": (
        lambda tmp: zorvi.dispersion([1990.0], 1980.0, 2020.0, bin_width=40),
        ValueError,
        "bin_width: the bin width 40 must be a finite positive number that gives 2 to 1000000",
    ),
    "no permutation": (
        lambda tmp: zorvi.permutation_trend([1990.0], 1980.0, 2020.0, permutations=0),
        ValueError,
        "permutations: the number of permutations must be from 1 to 10000000, not 0",
    ),
}

# Counts and seeds: whole numbers only, of whichever type holds one.
WHOLE_NUMBERS = [
    ("series", 2.5, TypeError),
    ("series", "20", TypeError),
    ("series", True, TypeError),
    ("series", None, TypeError),
    ("seed", 1.5, TypeError),
    ("seed", float("nan"), TypeError),
    ("seed", numpy.float32(0.5), TypeError),
    ("series", 20, None),
    ("series", numpy.int16(20), None),
    ("series", 20.0, None),
    ("seed", numpy.uint64(7), None),
    ("seed", -7.0, None),
]


@pytest.mark.parametrize("name, value, exception", WHOLE_NUMBERS)
def test_counts_and_seeds_are_whole_numbers(name, value, exception):
    arguments = {"series": 20, name: value}
    if exception is None:
        assert zorvi.study(SHIPPED_CSV, **arguments).settings[name] == int(value)
        return
    with pytest.raises(exception, match=f"^{name} must be a whole number \\(an int\\), not "):
        zorvi.study(SHIPPED_CSV, **arguments)


@pytest.mark.parametrize("case", BAD_INPUT)
def test_bad_input_raises_pythons_exceptions(case, tmp_path):
    call, exception, words = BAD_INPUT[case]
    before = sorted(os.listdir(tmp_path))
    with pytest.raises(exception) as raised:
        call(tmp_path)
    assert words in str(raised.value)
    made = ("bad.csv", SHIPPED_CSV.name)  # the data files a case makes
    assert not [name for name in os.listdir(tmp_path) if name not in before and name not in made]


def test_tables_without_pandas_say_to_install_it(monkeypatch):
    study = zorvi.study(SHIPPED_CSV, series=3)
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="needs pandas"):
        study.tables()


@pytest.fixture
def interactive_ctrl_c():
    """Ctrl-C as an interactive session has it, whatever the runner inherited: a background
    job starts with SIGINT ignored, and a SIGINT would then never arrive."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def test_interruption_stops_the_study_and_leaves_nothing(tmp_path, interactive_ctrl_c):
    def small():
        return zorvi.study(SHIPPED_CSV, threshold=64, series=50).to_json()

    before = small()
    calls = []

    def progress(done, total):
        calls.append((done, total))
        if len(calls) == 2:
            os.kill(os.getpid(), signal.SIGINT)
        assert len(calls) < 50, "the interruption was not seen"  # ends the study, not the run

    with pytest.raises(KeyboardInterrupt):
        zorvi.study(SHIPPED_CSV, series=10**9, results=tmp_path / "r.dat", progress=progress)
    assert os.listdir(tmp_path) == []
    assert len(calls) == 2 and 0 < calls[0][0] < calls[1][0] < 10**9
    # An exception of the progress function stops the study the same way.
    with pytest.raises(ZeroDivisionError):
        zorvi.study(SHIPPED_CSV, series=10**9, progress=lambda done, total: 1 / 0)
    # And the next study starts afresh: the same numbers as before.
    assert small() == before


def test_interruption_stops_a_long_permutation_test(interactive_ctrl_c):
    # 10^7 permutations of 10^5 bins would take many minutes; Ctrl-C comes after 1 s.
    times = numpy.linspace(0.005, 999.995, 20000)
    threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT)).start()
    with pytest.raises(KeyboardInterrupt):
        zorvi.permutation_trend(times, 0, 1000, bin_width=0.01, permutations=10**7)
    assert zorvi.permutation_trend(times, 0, 1000, permutations=99).permutations == 99

