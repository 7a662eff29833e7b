"""Headless chromium driven by Selenium, started as CI needs it (as root, no
sandbox), with a fresh profile and nothing that talks to the network by itself."""

import json
import time
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="brumevale-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium")
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--no-first-run", "--user-data-dir=" + self.profile):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        self.driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)

    def quit(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)

    def open(self, path):
        self.driver.get_log("performance")  # what came before this page is not its doing
        self.driver.get("file://" + path)

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def console_errors(self):
        return [e["message"] for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]

    def network_requests(self):
        """Every request a page opened from a file made for anything but itself or
        inline data (the browser's own chrome: pages are not the page's doing)."""
        urls = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] != "Network.requestWillBeSent":
                continue
            params = message["params"]
            url = params["request"]["url"]
            if params.get("documentURL", "").startswith("file:") and not url.startswith(("file:", "data:")):
                urls.append(url)
        return urls

    def column(self, section, index):
        return self.run("return [...document.querySelectorAll('#%s tbody tr')].map(r => r.cells[%d].textContent)"
                        % (section, index))

    def type_filter(self, text):
        """Types text and waits for the page's filter, which runs once typing pauses."""
        self.run("delete document.documentElement.dataset.filteredMs")
        box = self.driver.find_element(By.ID, "filter")
        box.clear()
        if text:
            box.send_keys(text)
        else:
            # clear() fires no input event; the page listens for one.
            self.run("document.getElementById('filter').dispatchEvent(new Event('input'))")
        for _ in range(200):
            if self.run("return document.documentElement.dataset.filteredMs"):
                return
            time.sleep(0.05)
        raise AssertionError("the filter never ran")

    def click_header(self, section, index):
        self.driver.find_elements(By.CSS_SELECTOR, "#%s thead th" % section)[index].click()
