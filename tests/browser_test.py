#!/usr/bin/env python3
"""The HTML report in a real browser: headless Chromium, with the network closed, loads the
shipped run's report, takes a screenshot at 1280 and at 390 px wide and prints it to A4; then
loads a report whose data file's name and events' labels carry markup and script, and checks
that nothing from them ran.

usage: browser_test.py ZORVI ZORVI_REPORT SOURCE_DIR [OUT_DIR]
The screenshots and the PDF are left in OUT_DIR when one is given, for a person to look at.
Exit status 77 (skipped) when Chromium is not installed.
"""

import base64
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile

CHROMIUM = "/usr/bin/chromium"
FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
]
DATA = "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat"
CSV = "us-hurricane-landfalls-1980-2018.csv"
# What a script that ran would leave in the page.
MARK = "document.body.appendChild(document.createElement('zorvi-ran'))"
HOSTILE = [f"<img src=x onerror=\"{MARK}\">", f"\"><svg onload=\"{MARK}\">"]
# A label may hold what a file name cannot; it shows at most 40 characters, so that these fit
# whole. Any of them that ran would change the page's title.
LABELS = ["<script>document.title='RAN'</script>", "<img src=x onerror=document.title=1>",
          "\"><svg onload=document.title=2>"]
TIMEOUT = 60  # seconds for the browser's whole work


class Browser:
    """Headless Chromium driven through its debugging protocol on a pipe (fds 3 and 4)."""

    def __init__(self, profile):
        to_browser, self._to = os.pipe()
        self._from, from_browser = os.pipe()

        def connect():
            ours = os.dup(to_browser), os.dup(from_browser)
            os.dup2(ours[0], 3)
            os.dup2(ours[1], 4)

        command = [CHROMIUM, *FLAGS, f"--user-data-dir={profile}", "--remote-debugging-pipe"]
        # A network namespace of its own has no network at all, where one can be made.
        if subprocess.run(["unshare", "-rn", "true"], capture_output=True).returncode == 0:
            command = ["unshare", "-rn", *command]
        self.process = subprocess.Popen(command, preexec_fn=connect, close_fds=False,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser)
        os.close(from_browser)
        self._buffer = b""
        self._id = 0
        self.events = []

    def _receive(self):
        while b"\0" not in self._buffer:
            chunk = os.read(self._from, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self._id += 1
        message = {"id": self._id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self._to, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._receive()
            if reply.get("id") == self._id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, event, session):
        while True:
            for k, message in enumerate(self.events):
                if message.get("method") == event and message.get("sessionId") == session:
                    return self.events.pop(k)
            self.events.append(self._receive())

    def close(self):
        try:
            self.call("Browser.close")
            self.process.wait(timeout=10)
        except Exception:
            self.process.kill()
            self.process.wait()
        os.close(self._to)
        os.close(self._from)


class Page:
    """One tab, offline, that records every request it makes."""

    def __init__(self, browser):
        self.browser = browser
        target = browser.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = browser.call("Target.attachToTarget", targetId=target,
                                    flatten=True)["sessionId"]
        for domain in ("Page.enable", "Network.enable", "Runtime.enable"):
            self.call(domain)
        self.call("Network.emulateNetworkConditions", offline=True, latency=0,
                  downloadThroughput=-1, uploadThroughput=-1)

    def call(self, method, **params):
        return self.browser.call(method, self.session, **params)

    def load(self, path, width):
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=900,
                  deviceScaleFactor=1, mobile=width < 500)
        self.browser.events.clear()
        url = path.resolve().as_uri()
        self.call("Page.navigate", url=url)
        self.browser.wait_for("Page.loadEventFired", self.session)
        requests = [event["params"]["request"]["url"] for event in self.browser.events
                    if event.get("method") == "Network.requestWillBeSent"]
        return [request for request in requests if request != url]

    def value(self, expression):
        return self.call("Runtime.evaluate", expression=expression,
                         returnByValue=True)["result"]["value"]

    def screenshot(self, path, width):
        height = self.call("Page.getLayoutMetrics")["cssContentSize"]["height"]
        shot = self.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                         clip={"x": 0, "y": 0, "width": width, "height": height, "scale": 1})
        path.write_bytes(base64.b64decode(shot["data"]))

    def print_a4(self, path):
        self.call("Emulation.clearDeviceMetricsOverride")
        pdf = self.call("Page.printToPDF", paperWidth=8.27, paperHeight=11.69,
                        preferCSSPageSize=True, printBackground=True)
        path.write_bytes(base64.b64decode(pdf["data"]))


def reports(zorvi, report, source, work):
    """The shipped run's report, and a study's report on data whose name carries markup."""
    run = work / "run"
    run.mkdir()
    shutil.copy(source / "data" / DATA, run)
    subprocess.run([zorvi], cwd=run, check=True, capture_output=True)
    subprocess.run([report, "--html", "report.html", "--no-figure"], cwd=run, check=True,
                   capture_output=True)
    hostile = work / "hostile"
    hostile.mkdir()
    name = "".join(HOSTILE) + ".csv"
    # Events at the threshold with wide errors: each decides, and its label is shown.
    rows = [f'{1985 + 5 * k}.5,100,10,"{label.replace(chr(34), 2 * chr(34))}"'
            for k, label in enumerate(LABELS)]
    (hostile / name).write_text("time,mag,se,name\n" + "\n".join(rows) + "\n")
    subprocess.run([report, "--data", name, "--columns", "time,mag,se", "--threshold", "100",
                    "--series", "50", "--no-figure", "--html", "report.html"], cwd=hostile,
                   check=True, capture_output=True)
    # Without the page's own policy, so that only its escaping stands between the data and a
    # script.
    page = (hostile / "report.html").read_text()
    (hostile / "open.html").write_text(re.sub(r"<meta http-equiv=[^>]*>\n", "", page, count=1))
    # A page that does run the data's markup: the check below must see that.
    (hostile / "control.html").write_text(
        f"<!DOCTYPE html><title>c</title><p>{HOSTILE[0]}{LABELS[1]}")
    return run / "report.html", hostile


def check(failures, condition, what):
    if not condition:
        failures.append(what)


def main():
    # The programs run in a directory of their own: paths given relative to here are resolved.
    zorvi, report = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    source = pathlib.Path(sys.argv[3]).resolve()
    if not os.access(CHROMIUM, os.X_OK):
        print(f"{CHROMIUM} is not installed (Debian package chromium): browser test skipped")
        return 77
    failures = []

    def too_long(*_):
        raise TimeoutError(f"the browser took more than {TIMEOUT} s")

    signal.signal(signal.SIGALRM, too_long)
    signal.alarm(TIMEOUT)
    with tempfile.TemporaryDirectory() as temporary:
        work = pathlib.Path(temporary)
        out = pathlib.Path(sys.argv[4]).resolve() if len(sys.argv) > 4 else work / "out"
        out.mkdir(parents=True, exist_ok=True)
        shipped, hostile = reports(zorvi, report, source, work)
        (work / "profile").mkdir()
        browser = Browser(work / "profile")
        try:
            page = Page(browser)
            for width in (1280, 390):
                requests = page.load(shipped, width)
                check(failures, requests == [], f"the page asked for {requests}")
                overflow = page.value("document.documentElement.scrollWidth")
                check(failures, overflow <= width,
                      f"at {width} px the page is {overflow} px wide: it scrolls sideways")
                panels = page.value("document.querySelectorAll('svg.panel').length")
                check(failures, panels == 9, f"{panels} panels shown, not 9")
                page.screenshot(out / f"report-{width}.png", width)
            page.print_a4(out / "report.pdf")
            pdf = (out / "report.pdf").read_bytes()
            pages = len(re.findall(rb"/Type\s*/Page[^s]", pdf))
            check(failures, pdf.startswith(b"%PDF") and 3 <= pages <= 12,
                  f"the printed report has {pages} pages")

            page.load(hostile / "control.html", 1280)
            check(failures, page.value("document.querySelector('zorvi-ran') !== null && "
                                       "document.title === '1'"),
                  "the control page's scripts did not run: the checks below would see nothing")
            requests = page.load(hostile / "open.html", 1280)
            check(failures, page.value("document.querySelector('zorvi-ran') === null"),
                  "a script from the data ran")
            for tag in ("script", "img"):
                count = page.value(f"document.querySelectorAll('{tag}').length")
                check(failures, count == 0, f"the data made {count} {tag} elements")
            check(failures, page.value("document.querySelectorAll('svg').length") == 9,
                  "the data added or removed markup")
            check(failures, requests == [], f"the hostile page asked for {requests}")
            shown = page.value("document.body.innerText")
            check(failures, all(text in shown for text in [HOSTILE[0], *LABELS]),
                  "the data's names and labels are not shown as text")
            check(failures, page.value("document.title").startswith("Zorvi report on "),
                  "a script from the labels ran")
        finally:
            browser.close()
    for failure in failures:
        print(f"FAIL: {failure}")
    if not failures:
        print(f"the report loaded, showed and printed; nothing from its data ran ({out})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
