#!/usr/bin/env python3
"""vexmoord records a match of vexmoor-sim and is killed with SIGKILL (no commit has run: the
commit interval is 30 minutes), several times over; each restart replays what was recorded.
At the end every kill that events.log showed before each kill is counted in the tables, and
every table file is whole."""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

VEXMOORD = SIM = None
PORT = 29110
KILL_WORDS = (" killed ", " has fallen to ", " committed suicide.", " crushed ")


def read_dbf(path):
    """The rows of a dBASE table as dicts of stripped texts; checks that the file is whole."""
    with open(path, "rb") as f:
        data = f.read()
    count, header, record = struct.unpack("<IHH", data[4:12])
    assert len(data) == header + count * record + 1, "%s: size does not match its header" % path
    assert data[-1] == 0x1A, "%s: no end mark" % path
    fields, at = [], 32
    offset = 1
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b"\0")[0].decode()
        width = data[at + 16]
        fields.append((name, offset, width))
        offset += width
        at += 32
    rows = []
    for n in range(count):
        raw = data[header + n * record:header + (n + 1) * record]
        rows.append({name: raw[o:o + w].decode("latin-1").strip() for name, o, w in fields})
    return rows


def number(text):
    return int(float(text)) if text else 0


class KillNine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vexmoor-kill9-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        config = os.path.join(self.dir, "config", "vexmoor")
        data = os.path.join(self.dir, "data", "vexmoor")
        os.makedirs(config)
        self.profile = os.path.join(data, "127.0.0.1.%d" % PORT)
        os.makedirs(self.profile)
        with open(os.path.join(config, "Vexmoor.ini"), "w") as f:
            f.write("[Vexmoor]\n[127.0.0.1:%d]\nPassword=secret\nStats=1\nLog=1\n" % PORT)
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"),
                        ASAN_OPTIONS="detect_leaks=0", QT_QPA_PLATFORM="offscreen")

    def start(self, *cmd):
        p = subprocess.Popen(cmd, env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
        self.addCleanup(lambda: p.poll() is None and p.kill())
        return p

    def logged_kills(self):
        try:
            with open(os.path.join(self.profile, "events.log"), encoding="latin-1") as f:
                return sum(1 for line in f if any(w in line for w in KILL_WORDS))
        except FileNotFoundError:
            return 0

    def test_no_logged_kill_is_lost(self):
        sim = self.start(SIM, "--port", str(PORT), "--match", "random", "--speed", "60",
                         "--players", "12", "--seed", "7")
        time.sleep(0.5)
        for round_ in range(3):
            daemon = self.start(VEXMOORD)
            target = self.logged_kills() + 40 + 25 * round_
            deadline = time.time() + 90
            while self.logged_kills() < target and time.time() < deadline:
                time.sleep(0.05)
            self.assertGreaterEqual(self.logged_kills(), target, "the match did not run")
            daemon.send_signal(signal.SIGKILL)
            daemon.wait()
            for table in ("Players.dbf", "Kills.dbf", "Missions.dbf"):
                if os.path.exists(os.path.join(self.profile, table)):
                    read_dbf(os.path.join(self.profile, table))  # whole after the kill
        logged = self.logged_kills()
        sim.send_signal(signal.SIGTERM)
        sim.wait()

        # With the server gone, a last start replays the journal and a clean stop writes the
        # tables.
        daemon = self.start(VEXMOORD)
        time.sleep(2)
        daemon.send_signal(signal.SIGTERM)
        _, err = daemon.communicate(timeout=60)
        self.assertEqual(daemon.returncode, 0, err.decode(errors="replace"))

        kills = read_dbf(os.path.join(self.profile, "Kills.dbf"))
        players = read_dbf(os.path.join(self.profile, "Players.dbf"))
        read_dbf(os.path.join(self.profile, "Missions.dbf"))
        self.assertEqual(sum(number(r["KILLS"]) + number(r["TEAMKILLS"]) for r in kills), logged)
        self.assertEqual(sum(number(r["DEATHS"]) + number(r["TDEATHS"]) for r in players), logged)
        names = [r["NAME"] for r in players]
        self.assertEqual(len(names), len(set(names)), "a player got a second row")
        ids = [r["DBID"] for r in players]
        self.assertEqual(len(ids), len(set(ids)), "an id was handed out twice")


if __name__ == "__main__":
    VEXMOORD, SIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
