#!/usr/bin/env python3
"""A run page's first chart in headless Chromium: the time from navigation to
the chart drawn with the server's points and the first table page shown.

   dashboard_paint.py URL
"""
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait
import tempfile

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
with tempfile.TemporaryDirectory() as profile:
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.set_window_size(1366, 768)
        times = []
        for _ in range(3):
            driver.get(sys.argv[1])
            WebDriverWait(driver, 60, 0.05).until(lambda d: d.execute_script("return document.body.dataset.readyMs"))
            times.append(int(driver.execute_script("return document.body.dataset.readyMs")))
            points = driver.execute_script("return document.getElementById('chart').dataset.points")
        print(f"  in Chromium at 1366x768: chart and first table page drawn {times[0]} ms after navigation "
              f"(then {times[1]}, {times[2]} ms), {points} points")
    finally:
        driver.quit()
