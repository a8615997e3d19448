#!/usr/bin/env python3
"""The lab dashboard end to end in a real headless Chromium: a real mosquitto
on a free loopback port, the collector serving the dashboard, and pondus-log
publishers recording balance-sim lines.

Paths come from the environment: PONDUS_LOG, BALANCE_SIM, and SHOTS (a
folder for the screenshots of the pages at a laptop's and a tablet's size;
none taken without it).
"""
import base64
import csv
import io
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

import openpyxl
from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

PONDUS_LOG = os.environ["PONDUS_LOG"]
BALANCE_SIM = os.environ["BALANCE_SIM"]
SHOTS = os.environ.get("SHOTS")
PREFIX = "lab"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout=20, what="condition"):
    """Polls `condition` until it gives something true; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def get(url, method="GET", headers=None, context=None):
    """(status, body bytes) of a request, errors included."""
    request = urllib.request.Request(url, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=10, context=context) as response:
            return response.status, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


class Lab:
    """A broker, the collector with its dashboard, and recording lines."""

    def __init__(self, extra_http_args=()):
        self.folder = tempfile.mkdtemp(prefix="pondus-dashboard-")
        self.processes = []
        self.broker_port = free_port()
        self.http_port = free_port()
        with open(os.path.join(self.folder, "mosquitto.conf"), "w") as conf:
            conf.write(f"listener {self.broker_port} 127.0.0.1\nallow_anonymous true\n")
        self.broker = self.spawn(["mosquitto", "-c", os.path.join(self.folder, "mosquitto.conf")], "mosquitto.log")
        wait_for(self.broker_takes_connections, what="the broker")
        self.collector = self.spawn(
            [PONDUS_LOG, "--collect", PREFIX, "--db", os.path.join(self.folder, "lab.db"),
             "--mqtt-host", "127.0.0.1", "--mqtt-port", str(self.broker_port),
             "--http", f"127.0.0.1:{self.http_port}", *extra_http_args], "collector.log")
        self.url = ("https" if "--http-cert" in extra_http_args else "http") + f"://127.0.0.1:{self.http_port}"
        wait_for(self.serves, what="the dashboard")

    def spawn(self, args, log, env=None):
        with open(os.path.join(self.folder, log), "ab") as out:
            process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT, cwd=self.folder, env=env)
        self.processes.append(process)
        return process

    def broker_takes_connections(self):
        return accepts(self.broker_port)

    def serves(self):
        assert self.collector.poll() is None, self.log("collector.log")
        return accepts(self.http_port)

    def add_line(self, port, balances=2):
        """A balance-sim line recorded by a publishing pondus-log on `port` (COM1..COM4)."""
        link = os.path.join(self.folder, "line-" + port)
        self.spawn([BALANCE_SIM, "--balances", str(balances), "--link", link], "sim-" + port + ".log")
        wait_for(lambda: os.path.exists(link), what="the simulator's line")
        env = dict(os.environ, **{"TRUTINA_" + port: link})
        return self.spawn(
            [PONDUS_LOG, "--port", port, "--period", "0,2", "-o", os.path.join(self.folder, port + ".tsv"),
             "--no-journal", "--mqtt", "--mqtt-host", "127.0.0.1", "--mqtt-port", str(self.broker_port),
             "--mqtt-prefix", PREFIX, "--link-timeout", "0"], "publisher-" + port + ".log", env)

    def publish(self, topic, payload, retain=False):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.broker_port), "-q", "1", "-t", topic,
                        "-m", payload] + (["-r"] if retain else []), check=True)

    def api(self, path, **parameters):
        status, body = get(self.url + path + ("?" + urllib.parse.urlencode(parameters) if parameters else ""))
        return status, (json.loads(body) if body.startswith((b"{", b"[")) else body)

    def log(self, name):
        with open(os.path.join(self.folder, name), errors="replace") as text:
            return text.read()

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def chromium(download_folder):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 "--user-data-dir=" + os.path.join(download_folder, "profile")):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": download_folder})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_window_size(1366, 768)
    return driver


class DashboardTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lab = Lab()
        cls.publishers = {port: cls.lab.add_line(port, balances) for port, balances in (("COM1", 3), ("COM2", 2))}
        cls.browser = chromium(cls.lab.folder)
        # A live tile is drawn anew with each row: an element found a moment
        # ago may be gone, and is looked for again.
        cls.wait = WebDriverWait(cls.browser, 30, poll_frequency=0.05,
                                 ignored_exceptions=[StaleElementReferenceException])

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.lab.close()

    def tile(self, port):
        return self.browser.find_element(By.CSS_SELECTOR, f'.tile[data-port="{port}"]')

    def open_lab(self):
        self.browser.get(self.lab.url + "/")
        self.wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, ".tile .value")) >= 5)

    def current_run(self, port):
        status, lab = self.lab.api("/api/lab")
        rows = [p["row"] for p in lab["ports"] if p["port"] == port and "row" in p]
        return rows[0] if rows else None

    def open_run(self, port):
        row = wait_for(lambda: self.current_run(port), what="a row of " + port)
        self.browser.get(self.lab.url + "/run?" + urllib.parse.urlencode(
            {"pc": row["pc"], "port": port, "run": row["run"]}))
        self.wait.until(lambda b: b.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == "yes")
        return row

    def shoot(self, name):
        if not SHOTS:
            return
        os.makedirs(SHOTS, exist_ok=True)
        for size, (width, height, mobile) in {"1366x768": (1366, 768, False),
                                              "tablet-800x1280": (800, 1280, True)}.items():
            self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
            self.browser.execute_async_script(  # drawn at the new size before the shot
                "const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(done));")
            self.browser.save_screenshot(os.path.join(SHOTS, f"dashboard-{name}-{size}.png"))
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_tiles_show_every_line_and_a_value_updates_live(self):
        self.open_lab()
        self.assertEqual(len(self.tile("COM1").find_elements(By.CSS_SELECTOR, ".balances tbody tr")), 3)
        self.assertEqual(len(self.tile("COM2").find_elements(By.CSS_SELECTOR, ".balances tbody tr")), 2)
        self.assertIn("в сети", self.tile("COM1").find_element(By.CLASS_NAME, "badge").text)
        self.assertIn("OnLine", self.tile("COM1").find_element(By.CLASS_NAME, "status-line").text)
        first = self.tile("COM1").find_element(By.CLASS_NAME, "age").text
        # A row every 0,2 s: the shown row number moves on without a reload.
        self.wait.until(lambda b: self.tile("COM1").find_element(By.CLASS_NAME, "age").text.split(",")[0]
                        != first.split(",")[0])
        units = self.browser.execute_script(  # in one go, between two drawings of the tile
            "return [...document.querySelectorAll('.tile[data-port=\"COM1\"] .stable .unit')].map(c => c.innerText)")
        self.assertTrue(all(units), units)
        self.shoot("lab")

    def test_run_page_shows_chart_and_rows(self):
        row = self.open_run("COM1")
        self.assertGreater(int(self.browser.find_element(By.ID, "chart").get_attribute("data-points")), 0)
        cells = self.browser.find_elements(By.CSS_SELECTOR, "#rows tbody tr:first-child td")
        self.assertEqual(len(cells), 2 + 3, [c.text for c in cells])
        self.assertRegex(cells[1].text, r"^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}$")
        # Drag across the middle of the chart: the view narrows to the drag.
        canvas = self.browser.find_element(By.ID, "chart")
        ActionChains(self.browser).move_to_element_with_offset(canvas, -200, 0).click_and_hold() \
            .move_by_offset(300, 0).release().perform()
        self.wait.until(lambda b: b.find_element(By.ID, "zoom-reset").is_enabled())
        self.assertEqual(self.lab.api("/api/run", pc=row["pc"], port="COM1", run=row["run"])[0], 200)
        self.shoot("run")

    def test_downloads_are_the_programs_own_files(self):
        row = self.open_run("COM1")
        self.browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": self.lab.folder})
        self.browser.find_element(By.ID, "download-xlsx").click()
        name = wait_for(lambda: [n for n in os.listdir(self.lab.folder) if n.endswith(".xlsx")], what="the workbook")[0]
        workbook = openpyxl.load_workbook(os.path.join(self.lab.folder, name))
        values = [c.value for r in workbook.worksheets[0].iter_rows() for c in r]
        # Weights are numbers in the workbook (a balance at rest weighs 0), each before its unit.
        weights = [values[i - 1] for i, v in enumerate(values) if v == "g"]
        self.assertTrue(weights and all(isinstance(w, (int, float)) for w in weights), values[:40])
        self.assertIn("АВ-60", values)
        status, body = get(self.lab.url + "/download/run.csv?" + urllib.parse.urlencode(
            {"pc": row["pc"], "port": "COM1", "run": row["run"]}))
        self.assertEqual(status, 200)
        lines = body.decode("utf-8-sig").splitlines()
        self.assertGreaterEqual(len(lines), 1 + row["seq"])
        self.assertEqual(len(next(csv.reader(io.StringIO(lines[-1])))), len(next(csv.reader(io.StringIO(lines[0])))))

    def test_killed_pc_turns_offline(self):
        self.open_lab()
        publisher = self.publishers["COM2"]
        publisher.kill()  # no goodbye: the broker's last will says it
        publisher.wait()
        self.wait.until(lambda b: "offline" in self.tile("COM2").get_attribute("class"))
        self.assertIn("не в сети", self.tile("COM2").find_element(By.CLASS_NAME, "badge").text)
        self.assertNotIn("offline", self.tile("COM1").get_attribute("class"))

    def test_markup_in_names_stays_text(self):
        # A topic level holds no '/', so no closing tag: enough to run if put in as markup.
        pc = "<img src=x onerror=document.title='owned'><script>document.title='owned'"
        self.lab.publish(f"{PREFIX}/{pc}/COM3/status", '{"status":"online","link":"<b>bold</b>"}', retain=True)
        self.open_lab()
        tile = self.wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, '.tile[data-port="COM3"]'))[0]
        self.assertEqual(tile.find_element(By.CLASS_NAME, "pc").text, pc)
        self.assertIn("<b>bold</b>", tile.find_element(By.CLASS_NAME, "status-line").text)
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, "#lab img, #lab script, #lab b"), [])
        self.assertNotEqual(self.browser.title, "owned")

    def test_only_get_and_checked_parameters(self):
        row = wait_for(lambda: self.current_run("COM1"), what="a row")
        key = {"pc": row["pc"], "port": "COM1", "run": row["run"]}
        cases = [  # (method, path, parameters, status)
            ("POST", "/api/lab", {}, 405),
            ("PUT", "/", {}, 405),
            ("DELETE", "/api/run", key, 405),
            ("GET", "/api/run", dict(key, run="2000-01-01T00:00:00.000Z"), 404),
            ("GET", "/api/run", dict(key, run="' OR 1=1 --"), 404),
            ("GET", "/api/run", {"pc": row["pc"]}, 404),
            ("GET", "/run", dict(key, run="nonsense"), 404),
            ("GET", "/api/rows", dict(key, page="0"), 404),
            ("GET", "/api/rows", dict(key, page="1; DROP TABLE collected_rows"), 404),
            ("GET", "/api/rows", dict(key, page="999999"), 404),
            ("GET", "/api/chart", dict(key, width="abc"), 404),
            ("GET", "/api/rows", dict(key, page="1"), 200),
            ("GET", "/api/chart", dict(key, width="300"), 200),
        ]
        for method, path, parameters, expected in cases:
            with self.subTest(method=method, path=path, parameters=parameters):
                url = self.lab.url + path + "?" + urllib.parse.urlencode(parameters)
                self.assertEqual(get(url, method)[0], expected)
        # Still all there after every refused request.
        self.assertEqual(self.lab.api("/api/run", **key)[0], 200)


class LoginAndTlsTest(unittest.TestCase):
    """The dashboard behind a password over HTTPS: no browser needed."""

    def test_a_login_is_asked_for_over_tls(self):
        folder = tempfile.mkdtemp(prefix="pondus-dashboard-tls-")
        try:
            cert, key, password = (os.path.join(folder, name) for name in ("web.crt", "web.key", "web.pass"))
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)
            with open(password, "w") as f:
                f.write("s3cret pass\nignored second line\n")
            lab = Lab(("--http-user", "lab", "--http-password-file", password, "--http-cert", cert, "--http-key", key))
        except BaseException:
            shutil.rmtree(folder, ignore_errors=True)
            raise
        try:
            context = ssl.create_default_context(cafile=cert)
            login = lambda text: {"Authorization": "Basic " + base64.b64encode(text.encode()).decode()}
            cases = [  # (headers, status)
                ({}, 401),
                (login("lab:wrong"), 401),
                (login("other:s3cret pass"), 401),
                (login("lab:s3cret pass\nignored"), 401),
                (login("lab:s3cret pass"), 200),
            ]
            for headers, expected in cases:
                with self.subTest(headers=headers):
                    status, _ = get(lab.url + "/api/lab", headers=headers, context=context)
                    self.assertEqual(status, expected)
            self.assertEqual(get(lab.url + "/api/lab", "POST", login("lab:s3cret pass"), context)[0], 405)
            with self.assertRaises((urllib.error.URLError, ConnectionError)):  # plain HTTP is not served
                get(lab.url.replace("https:", "http:") + "/api/lab")
        finally:
            lab.close()
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
