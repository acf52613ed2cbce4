#!/usr/bin/env python3
"""The command-line programs end to end: bad input of every kind gets one line on stderr, a
non-zero status and no output file; the SQLite export reads back as the tables hold."""
import os
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

TOOLS = {}  # name -> executable, from the command line


def run(tool, *args, env=None, stdin=None):
    e = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", QT_QPA_PLATFORM="offscreen")
    e.update(env or {})
    return subprocess.run([TOOLS[tool], *args], capture_output=True, text=True, env=e,
                          input=stdin, timeout=60)


def make_table(path, defs, rows=""):
    r = run("vexmoor-dbf", "create", path, *defs)
    assert r.returncode == 0, r.stderr
    if rows:
        r = run("vexmoor-dbf", "append", path, stdin=rows)
        assert r.returncode == 0, r.stderr


class Work(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vexmoor-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)


class BadInput(Work):
    def test_every_tool_refuses_bad_input_with_one_line(self):
        good = self.path("good.dbf")
        make_table(good, ["Name,C,10,0", "Score,N,6,2"], "Bob,1.5\n")
        with open(good, "rb") as f:
            table = bytearray(f.read())
        damaged = {
            "junk.dbf": b"not a table at all, but long enough to have thirty-two bytes",
            "short.dbf": table[:10],
            # Record length 3 while the fields need 17.
            "outside.dbf": table[:10] + struct.pack("<H", 3) + table[12:],
        }
        for name, data in damaged.items():
            with open(self.path(name), "wb") as f:
                f.write(data)
        os.mkdir(self.path("folder.dbf"))
        os.mkdir(self.path("out.db"))
        with open(self.path("exists.db"), "w") as f:
            f.write("keep me")
        config, data = self.path("config"), self.path("data")
        os.makedirs(os.path.join(config, "vexmoor"))
        os.makedirs(os.path.join(data, "vexmoor"))
        xdg = {"XDG_CONFIG_HOME": config, "XDG_DATA_HOME": data}
        ini = os.path.join(config, "vexmoor", "Vexmoor.ini")
        as_dir = {"XDG_CONFIG_HOME": self.path("config2"), "XDG_DATA_HOME": data}
        os.makedirs(os.path.join(self.path("config2"), "vexmoor", "Vexmoor.ini"))
        dbf_dir = self.path("tables")

        # tool, arguments, environment, settings file text, status, message on stderr
        cases = [
            ("vexmoor-dbf", ["dump", self.path("missing.dbf")], None, None, 1, "no such file"),
            ("vexmoor-dbf", ["info", self.path("folder.dbf")], None, None, 1, "is a directory"),
            ("vexmoor-dbf", ["dump", "--csv", self.path("junk.dbf")], None, None, 1,
             "is not a dBASE database"),
            ("vexmoor-dbf", ["dump", "--json", self.path("short.dbf")], None, None, 1,
             "Prolog is less than 32 bytes"),
            ("vexmoor-dbf", ["dump", self.path("outside.dbf")], None, None, 1,
             "Record length does not match the fields"),
            ("vexmoor-dbf", ["dump", "--xml", good], None, None, 2, "unknown option --xml"),
            ("vexmoor-dbf", ["dump", "--csv", "--json", good], None, None, 2, "not both"),
            ("vexmoor-dbf", ["frobnicate", good], None, None, 2, 'unknown command "frobnicate"'),
            ("vexmoor-dbf", ["dump", good, good], None, None, 2, "dump needs one FILE"),
            ("vexmoor-dbf", ["export", good, "--sqlite"], None, None, 2,
             "--sqlite needs an output file name"),
            ("vexmoor-dbf", ["export", good], None, None, 2, "export needs --sqlite OUT.db"),
            ("vexmoor-dbf", ["export", "--sqlite", self.path("out.db"), good], None, None, 1,
             "out.db: is a directory"),
            ("vexmoor-dbf", ["export", "--sqlite", self.path("exists.db"), good], None, None, 1,
             "file exists (use --force to replace it)"),
            ("vexmoor-dbf", ["export", "--sqlite", self.path("new.db"), good,
                             self.path("junk.dbf")], None, None, 1, "is not a dBASE database"),
            ("vexmoor-dbf", ["export", "--sqlite", self.path("new.db"), good, good], None, None,
             1, 'two tables would be named "good"'),
            ("vexmoor-dbf", ["export", "--sqlite", self.path("nodir", "new.db"), good], None,
             None, 1, "cannot be written (No such file or directory)"),
            ("vexmoor-dbf", ["create", self.path("t.dbf"), "Name,C,10"], None, None, 1,
             "bad field definition"),
            ("vexmoor-dbf", ["create", good, "Name,C,10,0"], None, None, 1, "use --force"),
            ("vexmoor-dbf", ["append", good], None, None, 1, "not a number"),
            ("vexmoord", ["--bogus"], xdg, None, 2, "unknown option --bogus"),
            ("vexmoord", ["stray"], xdg, None, 2, "unexpected argument stray"),
            ("vexmoord", ["--check"], xdg, None, 6, "no profiles in " + ini),
            ("vexmoord", [], xdg, "[Vexmoor]\n", 6, "no profiles in"),
            ("vexmoord", ["--check"], as_dir, None, 1, "is a directory, not the settings file"),
            ("vexmoord", ["--check"], xdg, "[127.0.0.1:28001]\nPassword=x\n", 1,
             "127.0.0.1.28001 is not a directory"),
            ("vexmoor-sim", ["--bogus"], None, None, 2, "Unknown option 'bogus'"),
            ("vexmoor-sim", ["--port"], None, None, 2, "Missing value after '--port'"),
            ("vexmoor-sim", ["--port", "http"], None, None, 2,
             '--port must be a whole number from 0 to 65535, not "http"'),
            ("vexmoor-sim", ["--players", "0"], None, None, 2, "--players must be a whole number"),
            ("vexmoor-sim", ["--seed", "1.5"], None, None, 2, "--seed must be a whole number"),
            ("vexmoor-sim", ["--match", "chess"], None, None, 2,
             "--match must be scripted, random or none"),
            ("vexmoor-sim", ["--drop-at", "noon"], None, None, 2, "--drop-at must be connect"),
            ("vexmoor-sim", ["--bind", "nowhere"], None, None, 2, "--bind must be an IP address"),
            ("vexmoor-sim", ["--missions-dir", self.path("none")], None, None, 2,
             "no such directory"),
            ("vexmoor-sim", ["--missions-dir", good], None, None, 2, "is not a directory"),
            ("vexmoor-sim", ["--missions-dir", self.dir], None, None, 2, "no missions in"),
            ("vexmoor-sim", ["stray"], None, None, 2, "unexpected argument stray"),
            ("vexmoor", ["--bogus"], None, None, 2, "unknown option --bogus"),
            ("vexmoor", ["stray"], None, None, 2, "unexpected argument stray"),
        ]
        if os.geteuid() != 0:  # root reads everything
            locked = self.path("locked.dbf")
            shutil.copy(good, locked)
            os.chmod(locked, 0)
            cases.append(("vexmoor-dbf", ["dump", locked], None, None, 1,
                          "cannot be opened (Permission denied)"))
        for tool, args, env, settings, status, message in cases:
            if tool not in TOOLS:
                continue
            with self.subTest(tool=tool, args=args):
                if settings is not None:
                    with open(ini, "w") as f:
                        f.write(settings)
                    with open(os.path.join(data, "vexmoor", "127.0.0.1.28001"), "w"):
                        pass
                before = sorted(os.listdir(self.dir))
                stdin = "1,x\n" if args[:1] == ["append"] else None
                r = run(tool, *args, env=env, stdin=stdin)
                self.assertEqual(r.returncode, status, r.stderr)
                lines = r.stderr.splitlines()
                self.assertEqual(len(lines), 1, r.stderr)
                self.assertTrue(lines[0].startswith(tool + ": "), lines[0])
                self.assertIn(message, lines[0])
                if tool == "vexmoor-dbf":
                    self.assertEqual(r.stdout, "")
                    self.assertEqual(sorted(os.listdir(self.dir)), before)
                if os.path.exists(ini):
                    os.remove(ini)
                    os.remove(os.path.join(data, "vexmoor", "127.0.0.1.28001"))
        with open(self.path("exists.db")) as f:
            self.assertEqual(f.read(), "keep me")
        with open(good, "rb") as f:
            self.assertEqual(f.read(), bytes(table))

    def test_help_version_and_check_succeed(self):
        for tool in TOOLS:
            with self.subTest(tool=tool):
                r = run(tool, "--version")
                self.assertEqual((r.returncode, r.stdout.split()[0]), (0, tool), r.stderr)
                self.assertEqual(run(tool, "--help").returncode, 0)
        if "vexmoord" not in TOOLS:
            return
        config, data = self.path("c"), self.path("d")
        os.makedirs(os.path.join(config, "vexmoor"))
        os.makedirs(os.path.join(data, "vexmoor", "10.0.0.1.28001"))
        with open(os.path.join(config, "vexmoor", "Vexmoor.ini"), "w") as f:
            f.write("[Vexmoor]\n[10.0.0.1:28001]\nPassword=a\n[notes]\n[10.0.0.2:28002]\n")
        r = run("vexmoord", "--check", env={"XDG_CONFIG_HOME": config, "XDG_DATA_HOME": data})
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines()[1:], [
            "profile 10.0.0.1:28001: %s/vexmoor/10.0.0.1.28001 (exists)" % data,
            "profile 10.0.0.2:28002: %s/vexmoor/10.0.0.2.28002 (will be created)" % data,
            "2 profile(s), 0 unusable"])
        self.assertFalse(os.path.exists(os.path.join(data, "vexmoor", "10.0.0.2.28002")))


class HostileFiles(Work):
    def test_vexmoord_starts_past_fifos_devices_and_unsafe_sections_and_obeys_sigterm(self):
        """A FIFO or a link to /dev/zero among the mission files neither blocks nor grows the
        start-up; a section whose host would leave the data directory is skipped."""
        if "vexmoord" not in TOOLS:
            return
        config, data, missions = self.path("c"), self.path("d"), self.path("missions")
        os.makedirs(os.path.join(config, "vexmoor"))
        os.makedirs(missions)
        os.mkfifo(os.path.join(missions, "Trap.dsc"))
        os.symlink("/dev/zero", os.path.join(missions, "Zero.dsc"))
        with open(os.path.join(missions, "Raindance.dsc"), "w") as f:
            f.write('$MDESC::Type = "CTF";\n')
        with open(os.path.join(config, "vexmoor", "Vexmoor.ini"), "w") as f:
            f.write("[127.0.0.1:29351]\nPassword=a\nMissionsPath=%s\n"
                    "[../escape:29352]\nPassword=b\n" % missions)
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", XDG_CONFIG_HOME=config,
                   XDG_DATA_HOME=data)
        p = subprocess.Popen([TOOLS["vexmoord"]], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=env)
        watchdog = threading.Timer(20, p.kill)  # a start-up that blocks fails, not hangs
        watchdog.start()
        try:
            started = False
            for line in p.stdout:
                if "profile data:" in line:
                    started = True
                    break
            self.assertTrue(started)
            p.send_signal(15)
            self.assertEqual(p.wait(timeout=20), 0)
        finally:
            watchdog.cancel()
            if p.poll() is None:
                p.kill()
                p.wait()
        err = p.stderr.read()
        p.stdout.close()
        p.stderr.close()
        self.assertIn("The settings section [../escape:29352] was skipped", err)
        self.assertEqual(sorted(os.listdir(os.path.join(data, "vexmoor"))),
                         ["127.0.0.1.29351"])
        self.assertFalse(os.path.exists(self.path("d", "escape.29352")))
        r = run("vexmoord", "--check", env={"XDG_CONFIG_HOME": config, "XDG_DATA_HOME": data})
        self.assertEqual(r.returncode, 1)
        self.assertIn("vexmoord: settings section [../escape:29352] is skipped: the host may not "
                      "hold a path separator", r.stderr)
        self.assertIn("2 profile(s), 1 unusable", r.stdout)
        self.assertEqual(oct(os.stat(os.path.join(data, "vexmoor", "127.0.0.1.29351")).st_mode & 0o777),
                         "0o700")


class SqliteExport(Work):
    def test_export_reads_back_as_the_tables_hold(self):
        players, kills = self.path("Players.dbf"), self.path("Kills.dbf")
        make_table(players, ["Name,C,30,0", "dbID,N,10,0", "Connect,N,20,13", "On,L,1,0",
                             "Seen,D,8,0"],
                   'Bob,1,36498.5,T,2024-02-29\n"Smith, ""J""",2,-0.25,F,\nJosé Œ€,3,0,y,'
                   '20000101\n')
        rows = "".join("%d,%d,%d,%d\n" % (n % 97, n % 89, n, n * 3) for n in range(1, 2501))
        make_table(kills, ["KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0", "Disc,N,8,0"],
                   rows)
        # Mark record 2 of Kills deleted.
        with open(kills, "r+b") as f:
            header_length, record_length = struct.unpack("<HH", f.read(12)[8:12])
            f.seek(header_length + record_length)
            f.write(b"*")

        out = self.path("stats.db")
        r = run("vexmoor-dbf", "export", "--sqlite", out, players, kills)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["Kills.dbf", "Players.dbf", "stats.db"])
        db = sqlite3.connect(out)
        self.assertEqual(
            [(c[1], c[2]) for c in db.execute("PRAGMA table_info(Players)")],
            [("_recno", "INTEGER"), ("_deleted", "INTEGER"), ("NAME", "TEXT"),
             ("DBID", "INTEGER"), ("CONNECT", "REAL"), ("ON", "INTEGER"), ("SEEN", "TEXT")])
        self.assertEqual(db.execute('SELECT NAME, DBID, CONNECT, "ON", SEEN FROM Players').fetchall(),
                         [("Bob", 1, 36498.5, 1, "2024-02-29"), ('Smith, "J"', 2, -0.25, 0, None),
                          ("José Œ€", 3, 0.0, 1, "2000-01-01")])
        self.assertEqual(db.execute("SELECT COUNT(*), SUM(_deleted), SUM(KILLS), MAX(DISC) "
                                    "FROM Kills").fetchone(),
                         (2500, 1, 2500 * 2501 // 2, 7500))
        self.assertEqual(db.execute("SELECT _deleted, KILLERID, VICTIMID FROM Kills "
                                    "WHERE _recno IN (2, 2500) ORDER BY _recno").fetchall(),
                         [(1, 2, 2), (0, 2500 % 97, 2500 % 89)])
        try:
            import dbfread
        except ImportError:
            dbfread = None
        if dbfread:
            live = db.execute("SELECT KILLERID, VICTIMID, KILLS, DISC FROM Kills "
                              "WHERE NOT _deleted ORDER BY _recno").fetchall()
            stored = [tuple(rec.values()) for rec in dbfread.DBF(kills, encoding="cp437")]
            self.assertEqual(live, stored)
        db.close()

        # A second export replaces the database only when told to.
        r = run("vexmoor-dbf", "export", "--sqlite", out, kills)
        self.assertEqual(r.returncode, 1)
        r = run("vexmoor-dbf", "export", "--force", "--sqlite", out, kills)
        self.assertEqual(r.returncode, 0, r.stderr)
        db = sqlite3.connect(out)
        self.assertEqual([t for (t,) in db.execute("SELECT name FROM sqlite_master")], ["Kills"])
        db.close()

    def test_json_lines_match_the_csv_dump(self):
        import csv
        import io
        import json
        table = self.path("t.dbf")
        make_table(table, ["Name,C,12,0", "N,N,6,0", "X,N,8,3", "L,L,1,0", "D,D,8,0"],
                   'a "q" \\ b,1,1.5,T,2024-01-31\n"x,\ny",-2,,F,\n')
        csv_rows = list(csv.reader(io.StringIO(run("vexmoor-dbf", "dump", "--csv", table).stdout)))
        objs = [json.loads(line) for line in
                run("vexmoor-dbf", "dump", "--json", table).stdout.splitlines()]
        self.assertEqual(csv_rows[0], ["DELETED", "NAME", "N", "X", "L", "D"])
        self.assertEqual(objs, [
            {"_recno": 1, "_deleted": False, "NAME": 'a "q" \\ b', "N": 1, "X": 1.5, "L": True,
             "D": "2024-01-31"},
            {"_recno": 2, "_deleted": False, "NAME": "x,\ny", "N": -2, "X": 0.0, "L": False,
             "D": None}])
        self.assertEqual([r[1] for r in csv_rows[1:]], [o["NAME"] for o in objs])


if __name__ == "__main__":
    # Arguments: NAME=PATH for each program to test, then unittest's own.
    while len(sys.argv) > 1 and "=" in sys.argv[1]:
        name, path = sys.argv.pop(1).split("=", 1)
        if path:
            TOOLS[name] = path
    unittest.main()
