"""What the web's Python tests share: the programs under test, waiting, Chromium, shutting down.

The tests run as scripts from this folder, so Python finds this module beside them.
"""
import os
import shutil
import socket
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


def write_config(root, address, password, extra=""):
    """Writes vexmoord's settings below root with one profile for address (extra lines go into
    its section); returns the settings folder and the environment that points vexmoord there."""
    config = os.path.join(root, "config", "vexmoor")
    os.makedirs(config)
    with open(os.path.join(config, "Vexmoor.ini"), "w") as f:
        f.write("[Vexmoor]\nCommitInterval=30\n[%s]\nPassword=%s\nVexmoorScript=vexmoor.cs\n%s"
                % (address, password, extra))
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_DATA_HOME=os.path.join(root, "data"), ASAN_OPTIONS="detect_leaks=0")
    return config, env


def start_sim(port, password, args, timeout):
    """Starts vexmoor-sim on port with args and waits up to timeout seconds until it listens."""
    sim = subprocess.Popen([PROGRAMS["sim"], "--port", str(port), "--password", password] + args,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: socket.create_connection(("127.0.0.1", port), timeout=1).close() is None,
               timeout, "the simulated server")
    return sim


def start_daemon(root, web_port, env):
    """Starts vexmoord --web on web_port, its output going to root/vexmoord.log; returns the
    process and the open log."""
    log = open(os.path.join(root, "vexmoord.log"), "w+")
    daemon = subprocess.Popen([PROGRAMS["vexmoord"], "--web", "127.0.0.1:%d" % web_port],
                              env=env, stdout=log, stderr=subprocess.STDOUT)
    return daemon, log


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
