#!/usr/bin/env python3
"""Operators end to end: vexmoord --web with an operators file, against vexmoor-sim.

An admin's kick with a message holding a double quote and a backslash reaches the simulated
server as one statement (the player leaves), the audit holds it and the file is private; a
viewer reads the audit but may not act. Then, when Chromium is there, the same through the
pages: the login form, a Kick button on a player's row, the confirmation and the message box,
and the departure arriving live.
"""
import http.cookiejar
import json
import os
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

from webtestsupport import (PROGRAMS, browser_paths, check_daemon_log, headless_chrome,
                            read_daemon_log, read_programs, start_daemon, start_sim,
                            stop_processes, wait_until, write_config)

SIM_PORT = 29502
WEB_PORT = 18101
PASSWORD = "operators-test"
ADDRESS = "127.0.0.1:%d" % SIM_PORT
BASE = "http://127.0.0.1:%d" % WEB_PORT
ADMIN_PASSWORD = "admin-password-1"
VIEWER_PASSWORD = "viewer-password-1"

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None


class Client:
    """A browser-like API client with its own cookies."""

    def __init__(self):
        self.jar = http.cookiejar.CookieJar()
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(self.jar))
        self.csrf = None
        self.headers = {}

    def call(self, method, path, body=None, csrf=True):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(BASE + path, data=data, method=method)
        req.add_header("Content-Type", "application/json")
        if csrf and self.csrf:
            req.add_header("X-CSRF-Token", self.csrf)
        try:
            with self.opener.open(req, timeout=30) as r:
                self.headers = dict(r.headers)
                return r.status, json.loads(r.read().decode())
        except urllib.error.HTTPError as e:
            self.headers = dict(e.headers)
            return e.code, json.loads(e.read().decode() or "{}")

    def login(self, name, password):
        status, answer = self.call("POST", "/api/login", {"name": name, "password": password})
        if status == 200:
            self.csrf = answer["csrf"]
        return status, answer


def cells_of(driver, selector):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll(arguments[0]), e => e.textContent);",
        selector)


def alert_open(driver):
    try:
        driver.switch_to.alert.text
        return True
    except Exception:
        return False


def roster_clients():
    with urllib.request.urlopen(BASE + "/api/servers/%s/roster" % ADDRESS, timeout=5) as r:
        return [p["client"] for p in json.loads(r.read().decode())["players"]]


class Operators(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        root = cls.tmp.name
        config, cls.env = write_config(root, ADDRESS, PASSWORD)
        cls.profile_dir = os.path.join(root, "data", "vexmoor", "127.0.0.1.%d" % SIM_PORT)
        for name, role, servers, password in (("ann", "admin", ADDRESS, ADMIN_PASSWORD),
                                              ("vic", "viewer", "*", VIEWER_PASSWORD)):
            subprocess.run([PROGRAMS["vexmoord"], "--add-operator", name, "--role", role,
                            "--servers", servers], input=(password + "\n").encode(),
                           env=cls.env, check=True, stdout=subprocess.DEVNULL)
        cls.operators = os.path.join(config, "operators")
        # The scripted match at one event a second: four players are in after ten seconds
        # and stay until the last few lines, more than a minute later.
        cls.sim = start_sim(SIM_PORT, PASSWORD,
                            ["--match", "scripted", "--players", "4", "--speed", "1"], 20)
        cls.daemon, cls.log = start_daemon(root, WEB_PORT, cls.env)
        wait_until(lambda: {2049, 2050, 2051, 2052} <= set(roster_clients()), 40,
                   "the four players listed")

    @classmethod
    def tearDownClass(cls):
        stop_processes(cls, ("daemon", "sim"))
        log = read_daemon_log(cls.log)
        cls.tmp.cleanup()
        check_daemon_log(log)
        for secret in (ADMIN_PASSWORD, VIEWER_PASSWORD, PASSWORD):
            if secret in log:
                raise AssertionError("a password went to vexmoord's output")

    def test_1_operators_file_is_private(self):
        self.assertEqual(stat.S_IMODE(os.stat(self.operators).st_mode), 0o600)
        with open(self.operators) as f:
            text = f.read()
        self.assertIn("$argon2id$", text)
        self.assertNotIn(ADMIN_PASSWORD, text)

    def test_2_admin_kick_reaches_the_server_as_one_statement(self):
        ann = Client()
        status, me = ann.login("ann", ADMIN_PASSWORD)
        self.assertEqual(status, 200)
        self.assertEqual(me["role"], "admin")
        cookie = ann.headers["Set-Cookie"]
        for flag in ("HttpOnly", "SameSite=Strict"):
            self.assertIn(flag, cookie)
        self.assertNotIn("Secure", cookie)
        message = 'say "hi" \\o/'
        status, answer = ann.call("POST", "/api/servers/%s/actions" % ADDRESS,
                                  {"action": "kick", "client": 2050, "message": message})
        self.assertEqual(status, 200, answer)
        command = 'Net::Kick(2050,"say \\"hi\\" \\\\o/"); //VX\n'
        self.assertEqual(answer["sent"], [command])
        # The simulated server parsed one call and let the player go.
        wait_until(lambda: 2050 not in roster_clients(), 20, "the kicked player leaving")
        status, audit = ann.call("GET", "/api/servers/%s/audit" % ADDRESS)
        self.assertEqual(status, 200)
        kicks = [e for e in audit["entries"] if e["action"] == "kick"]
        self.assertEqual(kicks[-1]["operator"], "ann")
        self.assertEqual(kicks[-1]["command"], command)
        self.assertEqual(kicks[-1]["outcome"], "sent")
        self.assertTrue(any(e["action"] == "login" and e["operator"] == "ann"
                            for e in audit["entries"]))
        path = os.path.join(self.profile_dir, "audit.log")
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        with open(path) as f:
            log = f.read()
        self.assertIn("\tkick\t", log)
        self.assertNotIn(ADMIN_PASSWORD, log)
        self.assertNotIn(ann.csrf, log)

    def test_2b_actions_are_composed_as_the_window_composes_them(self):
        ann = Client()
        self.assertEqual(ann.login("ann", ADMIN_PASSWORD)[0], 200)
        cases = [
            ({"action": "message", "message": "two\nlines"}, 400, None),
            ({"action": "message", "message": "hi all"}, 200, ['MessageAll(0,"hi all"); //VX\n']),
            ({"action": "centerPrint", "client": 2049, "message": 'a"b'}, 200,
             ['CenterPrint (2049,"a\\"b"); //VX\n']),
            ({"action": "kick", "client": 2099, "message": "x"}, 404, None),
            ({"action": "ban", "client": 2049, "time": "soon"}, 400, None),
            ({"action": "ban", "client": 2052, "time": 60}, 200,
             ['BanList::add("IP:127.0.1.4:1028",60); //VX\n']),
            ({"action": "ban", "client": 2052, "time": 60, "mask": "127.0.1.*"}, 200,
             ['BanList::add("127.0.1.*",60); //VX\n']),
            ({"action": "variable", "name": "MaxPlayers", "value": 20}, 200,
             ["$Server::MaxPlayers = 20; //VX\n"]),
            ({"action": "variable", "name": "MaxPlayers", "value": 20}, 200, []),
            ({"action": "variable", "name": "HostName", "value": 'x"; quit(); "'}, 400, None),
            ({"action": "variable", "name": "ClientPassword", "value": "join-secret-7"}, 200, []),
            ({"action": "variable", "name": "TeamDmgScale", "value": 55}, 200,
             ["$Server::TeamDamageScale = 0.55; //VX\n",
              'messageAll(0, "Team damage ENABLED by admin."); //VX\n']),
            ({"action": "changeTeam", "client": 2049, "team": -2}, 200,
             ["processMenuPickTeam(2049,-2,2048); //VX\n"]),
            ({"action": "execMission", "mission": "NoSuchMission"}, 404, None),
            ({"action": "nextMission"}, 200, ["Server::NextMission(); //VX\n"]),
            ({"action": "quit"}, 400, None),
        ]
        for body, status, sent in cases:
            with self.subTest(body=body):
                got, answer = ann.call("POST", "/api/servers/%s/actions" % ADDRESS, body)
                self.assertEqual(got, status, answer)
                if sent is not None:
                    self.assertEqual(answer["sent"], sent)
        status, known = ann.call("GET", "/api/servers/%s/players-addresses" % ADDRESS)
        self.assertEqual(status, 200)
        self.assertEqual(known["addresses"]["2052"], "IP:127.0.1.4:1028")
        # The observer switch came back from the server as a team change.
        wait_until(lambda: any(p["client"] == 2049 and p["team"] == -2 for p in json.loads(
            urllib.request.urlopen(BASE + "/api/servers/%s/roster" % ADDRESS).read())["players"]),
            20, "2049 an observer")
        _, audit = ann.call("GET", "/api/servers/%s/audit" % ADDRESS)
        secret = [e for e in audit["entries"] if e["action"] == "variable"
                  and "password" in e["command"]]
        self.assertEqual(secret[-1]["command"], "(1 command(s) holding a password)")
        with open(os.path.join(self.profile_dir, "audit.log")) as f:
            self.assertNotIn("join-secret-7", f.read())

    def test_3_viewer_reads_the_audit_but_may_not_act(self):
        vic = Client()
        self.assertEqual(vic.login("vic", VIEWER_PASSWORD)[0], 200)
        status, audit = vic.call("GET", "/api/servers/%s/audit" % ADDRESS)
        self.assertEqual(status, 200)
        self.assertTrue(audit["entries"])
        before = roster_clients()
        self.assertEqual(vic.call("GET", "/api/servers/%s/players-addresses" % ADDRESS)[0], 403)
        status, _ = vic.call("POST", "/api/servers/%s/actions" % ADDRESS,
                             {"action": "kick", "client": 2049, "message": "no"})
        self.assertEqual(status, 403)
        time.sleep(1)
        self.assertIn(2049, roster_clients())
        self.assertEqual(before, roster_clients())
        status, audit = vic.call("GET", "/api/servers/%s/audit" % ADDRESS)
        refused = [e for e in audit["entries"] if e["operator"] == "vic" and e["action"] == "kick"]
        self.assertEqual(refused[-1]["outcome"], "refused: not an admin of this server")
        self.assertEqual(refused[-1]["command"], "")

    def test_4_browser_login_and_kick_from_the_row(self):
        chrome, driver_path = browser_paths()
        if not webdriver or not chrome or not driver_path:
            self.skipTest("Chromium, its driver or Selenium is missing")
        d = headless_chrome(driver_path, 1200)
        try:
            wait = lambda pred, what: WebDriverWait(d, 30).until(lambda d: pred(d), message=what)
            server = "/servers/" + ADDRESS
            d.get(BASE + "/login?next=" + server)
            self.assertEqual(d.title, "Log in - Vexmoor")
            d.find_element(By.ID, "login-name").send_keys("ann")
            d.find_element(By.ID, "login-password").send_keys(ADMIN_PASSWORD)
            d.find_element(By.ID, "login-submit").click()
            wait(lambda d: d.current_url.endswith(server), "the server page after the login")
            wait(lambda d: d.find_elements(By.ID, "logout"), "the logout button")
            row = '#players tbody tr[data-client="2051"]'
            wait(lambda d: d.find_elements(By.CSS_SELECTOR, row + " button"), "the row's buttons")
            # The live page redraws its rows: the button is found and clicked in one go (the
            # click waits a turn, so that the confirmation does not block the script).
            self.assertTrue(d.execute_script(
                "const b = Array.from(document.querySelectorAll(arguments[0] + ' button'))"
                ".filter((b) => b.textContent === 'Kick');"
                "if (b.length !== 1) return false; setTimeout(() => b[0].click(), 0); return true;",
                row))
            WebDriverWait(d, 10).until(lambda d: alert_open(d), message="the confirmation")
            confirm = d.switch_to.alert
            self.assertIn("Kick", confirm.text)
            confirm.accept()
            WebDriverWait(d, 10).until(lambda d: alert_open(d), message="the message box")
            box = d.switch_to.alert
            self.assertIn("Kick Message", box.text)
            box.send_keys("bye now")
            box.accept()
            # The departure comes back from the server and the live page drops the row.
            wait(lambda d: not d.find_elements(By.CSS_SELECTOR, row), "the row leaving")
            self.assertNotIn(2051, roster_clients())
            # Ban asks the duration, then the mask pre-filled with the address, then confirms.
            self.assertTrue(d.execute_script(
                "const b = Array.from(document.querySelectorAll("
                "'#players tbody tr[data-client=\"2049\"] button'))"
                ".filter((b) => b.textContent === 'Ban');"
                "if (b.length !== 1) return false; setTimeout(() => b[0].click(), 0); return true;"))
            answers = []
            for reply in ("90", None, True):
                WebDriverWait(d, 10).until(lambda d: alert_open(d), message="a box of Ban")
                box = d.switch_to.alert
                answers.append(box.text)
                if isinstance(reply, str):
                    box.send_keys(reply)
                box.accept()
            self.assertIn("ban duration", answers[0])
            self.assertIn("ban mask", answers[1])
            self.assertIn("127.0.1.1", answers[2])  # the mask in the confirmation
            wait(lambda d: d.find_element(By.ID, "action-status").text == "Sent: ban",
                 "the ban sent")
            d.find_element(By.ID, "audit-link").click()
            wait(lambda d: "bye now" in " ".join(cells_of(d, "#audit tbody td")),
                 "the kick on the Audit page")
            self.assertIn('BanList::add("IP:127.0.1.1:1025",90); //VX',
                          " ".join(cells_of(d, "#audit tbody td")))
            d.find_element(By.ID, "logout").click()
            wait(lambda d: d.find_elements(By.ID, "login-link"), "logged out")
        finally:
            d.quit()


def main():
    read_programs(sys.argv[1:])
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
