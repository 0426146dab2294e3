"""The package gives zorvi-report's bytes and numbers for the same data and options."""

import json
import os
import pathlib
import shutil
import subprocess

import pandas
import pandas.testing
import pytest

import zorvi

SOURCE = pathlib.Path(os.environ.get("ZORVI_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
EXPECTED = SOURCE / "tests" / "golden" / "report" / "expected"
DAT = "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat"
CSV = "us-hurricane-landfalls-1980-2018.csv"


def without_figure_row(text):
    """A recorded summary as zorvi-report prints it with --no-figure."""
    return "".join(line for line in text.splitlines(True) if not line.startswith("Figure "))


def read(path):
    return pathlib.Path(path).read_text()


# Each case: the recorded outputs, the data as given to the study, the study's options, and
# the results file the recording has. The data are read in a directory holding copies of the
# files, by relative name, as the recordings were made.
CASES = {
    "run": (lambda: DAT, {"results": "Zorviresult.dat"}, "Zorviresult.dat"),
    "study": (lambda: DAT, {}, "study-results.dat"),
    "csv64": (lambda: CSV, {"threshold": 64}, "study-results.dat"),
    "quakes": (
        lambda: "quakes.csv",
        {
            "columns": ("when", "Mw", "se"),
            "threshold": 6.5,
            "interval": (1950, 2020),
            "results": "quakes.dat",
        },
        "quakes.dat",
    ),
    "dataframe": (lambda: pandas.read_csv(CSV), {"threshold": 64, "name": CSV}, "study-results.dat"),
}


@pytest.mark.parametrize("case", CASES)
def test_study_gives_the_command_lines_outputs(case, tmp_path, monkeypatch):
    for name in (SOURCE / "data" / DAT, SOURCE / "data" / CSV, SOURCE / "tests/golden/report/quakes.csv"):
        shutil.copy(name, tmp_path)
    monkeypatch.chdir(tmp_path)
    data, options, results = CASES[case]
    recorded = EXPECTED / ("csv64" if case == "dataframe" else case)
    study = zorvi.study(data(), **options)

    assert study.to_json() == read(recorded / "report.json")
    assert study.to_dict() == json.loads(read(recorded / "report.json"))
    if case == "run":
        # A finished run: the study wrote the program's results file as it went.
        assert read(results) == read(SOURCE / "tests" / "golden" / "Zorviresult.dat")
        return
    assert study.summary() == without_figure_row(read(recorded / "summary.txt"))
    assert study.to_svg() == read(recorded / "Zorvireport.svg")
    study.write_results(tmp_path / "written.dat")
    assert read(tmp_path / "written.dat") == read(recorded / results)
    tables = study.tables()
    assert sorted(tables) == sorted(path.stem for path in (recorded / "tables").iterdir())
    for name, frame in tables.items():
        pandas.testing.assert_frame_equal(frame, pandas.read_csv(recorded / "tables" / f"{name}.csv"))
    # The analysis values under the JSON's names, and the series as arrays.
    observed = study.to_dict()["observed"]
    assert (study.observed.m, study.observed.u, study.observed.p) == (
        observed["m"],
        observed["u"],
        observed["p"],
    )
    series = tables["series"]
    assert list(study.m) == list(series["m"])
    assert study.u.tolist() == pytest.approx(series["u"].tolist(), nan_ok=True, rel=1e-15)
    assert study.expected_m == study.to_dict()["expected_m"]


def test_statistics_equal_the_reports():
    events = pandas.read_csv(SOURCE / "data" / CSV)
    times = events.loc[events["max_wind_kt"] >= 113, "time_decimal_year"]  # a pandas Series
    a, b = 1980.417, 2018.917
    observed = json.loads(read(EXPECTED / "study" / "report.json"))["observed"]
    tests = observed["tests"]

    cox = zorvi.cox_lewis(times, a, b)
    assert (cox.m, cox.statistic, cox.pvalue, cox.pvalue_two_sided) == (
        observed["m"],
        observed["u"],
        observed["p"],
        observed["p_two_sided"],
    )
    fit = zorvi.trend_fit(list(times), a, b)
    ratio = observed["rate_ratio_per_decade"]
    assert (fit.rate_ratio_per_decade, fit.conf_int) == (
        ratio["estimate"],
        (ratio["conf_low"], ratio["conf_high"]),
    )
    assert fit.beta_per_year == observed["beta_per_year"]["estimate"]
    wider = zorvi.trend_fit(times, a, b, confidence_level=0.99).conf_int
    assert wider[0] < fit.conf_int[0] and wider[1] > fit.conf_int[1]
    mil = zorvi.mil_hdbk_189(times.to_numpy(), a, b)
    assert (mil.statistic, mil.pvalue, mil.shape, mil.shape_conf_int) == (
        tests[2]["statistic"],
        tests[2]["p_value"],
        tests[2]["estimate"],
        (tests[2]["conf_low"], tests[2]["conf_high"]),
    )
    lr = zorvi.lewis_robinson(times, a, b)
    assert (lr.statistic, lr.pvalue) == (tests[3]["statistic"], tests[3]["p_value"])
    assert zorvi.detectable_rate_ratio(cox.m, a, b) == observed["detectable_rate_ratio_per_decade"]
    assert repr(cox).startswith("CoxLewisResult(m=6, statistic=1.58325799")


def built_report():
    report = pathlib.Path(os.environ.get("ZORVI_BUILD_DIR", "/nonexistent")) / "zorvi-report"
    if not report.exists():
        pytest.skip("zorvi-report is not built beside the module (ZORVI_BUILD_DIR)")
    return report


def test_the_html_report_is_the_command_lines(tmp_path, monkeypatch):
    shutil.copy(SOURCE / "data" / CSV, tmp_path)
    monkeypatch.chdir(tmp_path)
    subprocess.run(
        [str(built_report()), "--data", CSV, "--threshold", "64", "--no-figure", "--html",
         "cli.html", "--results", "cli.dat"], capture_output=True, check=True)
    study = zorvi.study(CSV, threshold=64, results="cli.dat")
    page = study.to_html()
    assert page == read("cli.html")
    assert page.startswith("<!DOCTYPE html>")
    # In a notebook: the report's own element, no document around it, the same sections.
    shown = study._repr_html_()
    assert shown.startswith('<div class="zorvi-report">') and "<html" not in shown
    body = page[page.index("<h1>") : page.index("</main>")]
    assert shown[shown.index("<h1>") :] == body + "</div>\n"


def test_the_posterior_error_model_gives_the_command_lines_json(tmp_path, monkeypatch):
    report = built_report()
    shutil.copy(SOURCE / "data" / DAT, tmp_path)
    monkeypatch.chdir(tmp_path)
    options = ["--data", DAT, "--error-model", "posterior", "--prior-scale", "30"]
    expected = subprocess.run(
        [str(report), *options, "--json", "--no-figure", "--results", "cli.dat"],
        capture_output=True, text=True, check=True).stdout
    study = zorvi.study(DAT, error_model="posterior", prior_scale=30, results="cli.dat")
    assert study.to_json() == expected
    assert study.to_dict()["settings"]["error_model"] == "posterior"
    with pytest.raises(ValueError, match="observed.*posterior"):
        zorvi.study(DAT, error_model="prior")


@pytest.mark.parametrize("form", ["file", "dataframe", "datetimes"])
def test_a_catalogue_as_published_gives_the_command_lines_json(form, tmp_path, monkeypatch):
    """ISO dates for times, no standard-error column and se: the command line's --se."""
    report = pathlib.Path(os.environ.get("ZORVI_BUILD_DIR", "/nonexistent")) / "zorvi-report"
    if not report.exists():
        pytest.skip("zorvi-report is not built beside the module (ZORVI_BUILD_DIR)")
    shutil.copy(SOURCE / "data" / CSV, tmp_path)
    monkeypatch.chdir(tmp_path)
    options = ["--data", CSV, "--columns", "date_utc,max_wind_kt", "--se", "10", "--series", "50"]
    expected = subprocess.run(
        [str(report), *options, "--json", "--no-figure"], capture_output=True, text=True, check=True
    ).stdout
    frame = pandas.read_csv(CSV)
    if form == "datetimes":  # datetimes of another zone: the same instants
        frame["date_utc"] = pandas.to_datetime(frame["date_utc"]).dt.tz_localize("UTC")
        frame["date_utc"] = frame["date_utc"].dt.tz_convert("America/Chicago")
    data = CSV if form == "file" else frame.drop(columns="stderr_kt")
    study = zorvi.study(data, columns=("date_utc", "max_wind_kt"), se=10, series=50, name=CSV)
    got = study.to_dict()
    if form == "datetimes":  # as written: the text the datetimes were read from
        for event in got["events"]:
            event["time_written"] = event["time_written"][:10]
    assert got == json.loads(expected)
    assert got["settings"]["events_given_standard_error"] == 60


def test_events_are_named_by_a_column(tmp_path):
    events = pandas.read_csv(SOURCE / "data" / CSV)
    by_file = zorvi.study(str(SOURCE / "data" / CSV), labels="states_and_category", series=20)
    by_frame = zorvi.study(events, labels="states_and_category", series=20)
    assert by_file.events[0]["label"] == by_frame.events[0]["label"] == "TX 3"
    assert zorvi.study(events.drop(columns="name"), series=20).events[0].get("label") is None
    with pytest.raises(ValueError, match="no column 'nope'.*labels=COLUMN"):
        zorvi.study(str(SOURCE / "data" / CSV), labels="nope", series=20)
    with pytest.raises(ValueError, match="labels: the DataFrame has no column 'nope'"):
        zorvi.study(events, labels="nope", series=20)
    with pytest.raises(ValueError, match="free format"):
        zorvi.study(str(SOURCE / "data" / DAT), labels="name", series=20)


def test_bin_width_sets_the_clustering_bins():
    study = zorvi.study(SOURCE / "data" / CSV, series=20, threshold=102, bin_width=0.5)
    assert study.clustering.bin_width == 0.5
    assert len(study.clustering.bins) == 77  # 38.5 years in half years
    assert list(study.tables()["bins"]["count"]) == [b["count"] for b in study.clustering.bins]
