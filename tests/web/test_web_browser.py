#!/usr/bin/env python3
"""The web pages in headless Chromium against vexmoord --web and vexmoor-sim.

Report lines reach vexmoord through the simulated server: a second console logs in and
echoes them, and every logged-in console (vexmoord's too) reads them as the game's own.
Exits 77 (skipped) only when Chromium, its driver or Selenium is missing.
"""
import json
import os
import socket
import sys
import tempfile
import time
import unittest
import urllib.request

from webtestsupport import (browser_paths, check_daemon_log, headless_chrome, read_daemon_log,
                            read_programs, start_daemon, start_sim, stop_processes, wait_until,
                            write_config)

SIM_PORT = 29421
WEB_PORT = 18091
PASSWORD = "browser-test"
ADDRESS = "127.0.0.1:%d" % SIM_PORT
BASE = "http://127.0.0.1:%d" % WEB_PORT
HOSTILE = "<b>x</b><img src=x onerror=window.pwned=1>"

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None


def api(path):
    with urllib.request.urlopen(BASE + path, timeout=5) as r:
        return json.loads(r.read().decode("utf-8"))


class Console:
    """A second operator console on the simulated server."""

    def __init__(self):
        self.sock = socket.create_connection(("127.0.0.1", SIM_PORT), timeout=5)
        buf = b""
        while b"Password" not in buf:
            buf += self.sock.recv(4096)
        self.sock.sendall(PASSWORD.encode() + b"\n")
        time.sleep(0.2)
        self.send("echo(\"console test ready\");")

    def send(self, command):
        self.sock.sendall(command.encode("latin-1") + b"\n")

    def report(self, *fields):
        """Sends one report line ("C", 2049, name, ...) to every console."""
        line = "\"" + "\"".join(str(f) for f in fields) + "\""
        self.send("echo(\"" + line.replace("\"", "\\\"") + "\");")

    def close(self):
        self.sock.close()


class WebPages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        root = cls.tmp.name
        _, env = write_config(root, ADDRESS, PASSWORD, "Stats=1\n")
        cls.sim = start_sim(SIM_PORT, PASSWORD, ["--match", "none"], 15)
        cls.daemon, cls.log = start_daemon(root, WEB_PORT, env)
        wait_until(lambda: api("/api/servers")[0]["state"] == "Online", 30, "vexmoord online")
        cls.console = Console()
        # Two players with different figures for the leaderboard and the player page.
        c = cls.console
        c.report("C", 2050, "Alpha", "10.0.0.50", "Male")
        c.report("C", 2051, "Bravo", "10.0.0.51", "Female")
        for _ in range(3):
            c.report("K", 2050, 2051, 4, 1)
        c.report("K", 2051, 2050, 7, 1)
        wait_until(lambda: api("/api/servers/%s/leaderboard" % ADDRESS)["total"] >= 2,
                   what="the two players recorded")

        cls.driver = headless_chrome(browser_paths()[1], 1000)

    @classmethod
    def tearDownClass(cls):
        for name in ("driver",):
            if hasattr(cls, name):
                getattr(cls, name).quit()
        if hasattr(cls, "console"):
            cls.console.close()
        stop_processes(cls, ("daemon", "sim"))
        log = read_daemon_log(cls.log)
        cls.tmp.cleanup()
        check_daemon_log(log)

    def wait(self, pred, what, timeout=15):
        WebDriverWait(self.driver, timeout).until(lambda d: pred(d), message=what)

    def cells(self, selector):
        """The texts of the elements selector finds, read in one go (the live pages redraw)."""
        return self.driver.execute_script(
            "return Array.from(document.querySelectorAll(arguments[0]), e => e.textContent);",
            selector)

    def test_1_server_list_shows_the_server_online(self):
        d = self.driver
        d.get(BASE + "/")
        self.assertEqual(d.title, "Servers - Vexmoor")
        self.wait(lambda d: "Online" in self.cells("#servers tbody td"), "Online in the list")
        link = d.find_element(By.CSS_SELECTOR, "#servers tbody a")
        self.assertTrue(link.get_attribute("href").endswith("/servers/" + ADDRESS.replace(":", "%3A")))

    def test_2_server_page_shows_an_arrival_and_a_kill_without_reload(self):
        d = self.driver
        d.get(BASE + "/servers/" + ADDRESS)
        self.wait(lambda d: d.find_element(By.ID, "live").text == "Live", "the live connection")
        self.wait(lambda d: "Alpha" in self.cells("#players tbody td"), "the roster")
        d.execute_script("window.notReloaded = true;")
        self.console.report("C", 2060, "Newcomer", "10.0.0.60", "Male")
        self.wait(lambda d: "Newcomer" in self.cells("#players tbody td"), "the new arrival")
        self.console.report("K", 2060, 2050, 4, 1)
        self.wait(lambda d: any("Newcomer killed Alpha" in t for t in self.cells("#events li")),
                  "the kill in the play-by-play")
        self.assertTrue(d.execute_script("return window.notReloaded === true;"))

    def test_3_a_hostile_name_shows_as_text_and_makes_no_element(self):
        d = self.driver
        d.get(BASE + "/servers/" + ADDRESS)
        self.wait(lambda d: d.find_element(By.ID, "live").text == "Live", "the live connection")
        self.console.report("C", 2070, HOSTILE, "10.0.0.70", "Male")
        self.wait(lambda d: HOSTILE in self.cells("#players tbody td"), "the hostile name as text")
        self.wait(lambda d: any(HOSTILE in t for t in self.cells("#events li")),
                  "the hostile name in the play-by-play")
        self.assertEqual(d.find_elements(By.CSS_SELECTOR, "main img, main b"), [])
        self.assertIsNone(d.execute_script("return window.pwned;"))
        # The leaderboard and the player page show it as text as well, as the Players table
        # keeps it (30 characters).
        stored = HOSTILE[:30]
        d.get(BASE + "/servers/%s/leaderboard?q=%%3Cb%%3E" % ADDRESS)
        self.wait(lambda d: stored in self.cells("#board tbody td"), "the name on the board")
        d.find_element(By.LINK_TEXT, stored).click()
        self.wait(lambda d: self.cells("#heading") == [stored], "the player page")
        self.assertEqual(d.find_elements(By.CSS_SELECTOR, "main img, main b"), [])
        self.assertIsNone(d.execute_script("return window.pwned;"))

    def test_4_the_leaderboard_sorts(self):
        d = self.driver
        d.get(BASE + "/servers/%s/leaderboard" % ADDRESS)
        first = lambda: (self.cells("#board tbody tr td:nth-child(2)") or [None])[0]
        self.wait(lambda d: first() == "Alpha", "Alpha first by kills")
        d.find_element(By.CSS_SELECTOR, "button[data-sort=deaths]").click()
        self.wait(lambda d: first() == "Bravo", "Bravo first by deaths")
        self.assertIn("sort=deaths", d.current_url)
        d.find_element(By.ID, "q").send_keys("alp")
        d.find_element(By.CSS_SELECTOR, "#search button").click()
        self.wait(lambda d: self.cells("#board tbody td:nth-child(2)") == ["Alpha"], "the search")

    def test_5_a_player_page_shows_the_weapons(self):
        board = api("/api/servers/%s/leaderboard?q=Alpha" % ADDRESS)
        alpha = board["rows"][0]
        detail = api("/api/servers/%s/players/%d" % (ADDRESS, alpha["id"]))
        self.assertTrue(detail["weapons"], "the API lists weapons")
        d = self.driver
        d.get(BASE + "/servers/%s/players/%d" % (ADDRESS, alpha["id"]))
        rows = lambda: [" ".join(self.cells("#weapons tbody tr:nth-child(%d) td" % (i + 1)))
                        for i in range(len(self.cells("#weapons tbody tr")))]
        self.wait(lambda d: rows(), "the weapons table")
        expected = ["%s %d" % (w["name"], w["count"]) for w in detail["weapons"]]
        self.assertEqual(rows(), expected)
        self.assertIn("Bravo", self.cells("#victims tbody td"))
        self.assertIn("Alpha", d.title)


def main():
    read_programs(sys.argv[1:])
    chrome, driver = browser_paths()
    missing = [n for n, ok in (("chromium", chrome), ("chromedriver", driver),
                               ("python3-selenium", webdriver)) if not ok]
    if missing:
        print("SKIPPED: the browser tests need " + ", ".join(missing) +
              " (scripts/setup.sh installs them)")
        return 77
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
