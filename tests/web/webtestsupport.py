"""What the web's Python tests share: the programs under test, waiting, Chromium, shutting down.

The tests run as scripts from this folder, so Python finds this module beside them.
"""
import os
import shutil
import subprocess
import time

# The programs under test, from the command line's key=path arguments (see read_programs).
PROGRAMS = {}


def read_programs(args):
    """Fills PROGRAMS from arguments such as vexmoord=/path/to/vexmoord."""
    for a in args:
        key, _, value = a.partition("=")
        PROGRAMS[key] = value


def wait_until(pred, timeout=15, what="condition"):
    """Polls pred (its exceptions count as not yet) until it holds or timeout seconds pass."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            if pred():
                return
        except Exception:
            pass
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def browser_paths():
    """Chromium and its driver, each None when it is not installed."""
    chrome = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver") or (
        "/usr/bin/chromedriver" if os.path.exists("/usr/bin/chromedriver") else None)
    return chrome, driver


def headless_chrome(driver_path, width):
    """A headless Chromium window width pixels wide and 1200 high."""
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service

    opts = Options()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--window-size=%d,1200" % width):
        opts.add_argument(a)
    return webdriver.Chrome(service=Service(driver_path), options=opts)


def stop_processes(owner, names):
    """Terminates the processes held in owner's attributes names, killing any that linger."""
    for name in names:
        p = getattr(owner, name, None)
        if p:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()


def read_daemon_log(log):
    """Reads vexmoord's log file from its start and closes it."""
    log.seek(0)
    text = log.read()
    log.close()
    return text


def check_daemon_log(text):
    """Raises when the sanitizers reported a fault in vexmoord's log."""
    if "ERROR: AddressSanitizer" in text or "runtime error" in text:
        raise AssertionError("vexmoord reported a fault:\n" + text[-3000:])
