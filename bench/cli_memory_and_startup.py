#!/usr/bin/env python3
"""The CLI's start-up time and its peak memory by record count, measured (never asserted).

  bench/cli_memory_and_startup.py [BUILD_DIR] [--runs N] [--sizes 100,20000]

Start-up: `qwbdcawm tasks list` on the built-in demo phone (its image made once, before the
timed runs, in a scratch cache folder), N runs, min and median wall time.

Memory: for each size, a demo image whose tasks, appointments, contacts, text and multimedia
messages are that many clones of one of them (the first; for contacts the longest one
without a photo), written straight into its store in one transaction, served by
`qwbdcawm-emu serve`; then each listing (table and --json) and the exports of tasks and
calendar, contacts and messages against it under /usr/bin/time -v, and the peak RSS ("Maximum
resident set size") of each, with the difference between the largest and the smallest size.
"""
import argparse
import os
import re
import socket
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def peak_rss_kib(cmd, env):
    r = subprocess.run(["/usr/bin/time", "-v"] + cmd, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        raise SystemExit(f"{' '.join(cmd)} failed ({r.returncode}):\n{r.stderr[-2000:]}")
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))


def startup(bindir, runs):
    if runs <= 0:
        return
    with tempfile.TemporaryDirectory() as cache:
        env = dict(os.environ, XDG_CACHE_HOME=cache, HOME=cache)
        env.pop("QWBDCAWM_DEVICE", None)
        cmd = [os.path.join(bindir, "qwbdcawm"), "tasks", "list"]
        subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)  # makes the demo image and registers the component
        times = []
        for _ in range(runs):
            t0 = time.perf_counter()
            subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           check=True)
            times.append(time.perf_counter() - t0)
        print(f"startup  tasks list on the demo phone: min {min(times)*1000:.0f} ms, "
              f"median {statistics.median(times)*1000:.0f} ms over {runs} runs")
        # What loading the program and its libraries costs before any command runs.
        times = []
        for _ in range(runs):
            t0 = time.perf_counter()
            subprocess.run(cmd[:1] + ["--help"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True)
            times.append(time.perf_counter() - t0)
        print(f"startup  --help (loading alone): min {min(times)*1000:.0f} ms, "
              f"median {statistics.median(times)*1000:.0f} ms over {runs} runs", flush=True)


def clone(db, table, first, n):
    """n - 1 copies of row `first` of `table` (its kind and packed properties)."""
    cols = {"records": "kind, props", "messages": "kind, folder, state, props"}[table]
    db.execute(f"INSERT INTO {table}({cols}) SELECT {cols} FROM {table}, (WITH RECURSIVE "
               "c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < ?) SELECT x FROM c) "
               "WHERE id = ?", (n - 1, first))


def seed(image_dir, n):
    """Every streamed table of the demo image holds n records: clones of one of its own."""
    db = sqlite3.connect(os.path.join(image_dir, "image.sqlite"))
    with db:
        # Appointments (2), tasks (3): the first record cloned. Contacts (1): the longest one
        # without a photo (many fields and a long note), so that each card is a full one;
        # the speed dials of the contacts removed go with them.
        for kind in (1, 2, 3):
            if kind == 1:
                first = db.execute(
                    "SELECT id FROM records WHERE kind = 1 AND "
                    "instr(props, CAST('Picture' AS BLOB)) = 0 "
                    "ORDER BY length(props) DESC, id LIMIT 1").fetchone()[0]
                db.execute("DELETE FROM speed_dials WHERE entry_id <> ?", (first,))
            else:
                first = db.execute("SELECT MIN(id) FROM records WHERE kind = ?",
                                   (kind,)).fetchone()[0]
            db.execute("DELETE FROM records WHERE kind = ? AND id <> ?", (kind, first))
            clone(db, "records", first, n)
        # Text messages (kind 4) and multimedia ones (kind 5).
        for kind in (4, 5):
            first = db.execute("SELECT MIN(id) FROM messages WHERE kind = ?", (kind,)).fetchone()[0]
            db.execute("DELETE FROM messages WHERE kind = ? AND id <> ?", (kind, first))
            clone(db, "messages", first, n)
    db.close()


# What is measured at each size, as (label, arguments after the device option).
COMMANDS = [
    ("tasks list", ["tasks", "list"]),
    ("tasks list --json", ["tasks", "list", "--json"]),
    ("calendar list", ["calendar", "list"]),
    ("calendar list --json", ["calendar", "list", "--json"]),
    ("sms list", ["sms", "list"]),
    ("sms list --json", ["sms", "list", "--json"]),
    ("mms list", ["mms", "list"]),
    ("mms list --json", ["mms", "list", "--json"]),
    ("contacts list", ["contacts", "list"]),
    ("contacts list --json", ["contacts", "list", "--json"]),
    ("export tasks calendar", ["export", "{out}", "--only", "tasks", "calendar"]),
    ("export contacts", ["export", "{out}", "--only", "contacts"]),
    ("export messages", ["export", "{out}", "--only", "sms"]),
]


def memory(bindir, sizes, only=None):
    commands = [(label, args) for label, args in COMMANDS if not only or only in label]
    results = {}
    for n in sizes:
        with tempfile.TemporaryDirectory() as work:
            image = os.path.join(work, "phone")
            subprocess.run([os.path.join(bindir, "qwbdcawm-emu"), "init", image, "--preset",
                            "demo", "--model", "Aster W1"], check=True,
                           stdout=subprocess.DEVNULL)
            seed(image, n)
            port = free_port()
            emu = subprocess.Popen([os.path.join(bindir, "qwbdcawm-emu"), "serve", image,
                                    "--listen", f"tcp:127.0.0.1:{port}"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                for _ in range(100):
                    with socket.socket() as s:
                        if s.connect_ex(("127.0.0.1", port)) == 0:
                            break
                    time.sleep(0.05)
                env = dict(os.environ, XDG_CACHE_HOME=work, HOME=work)
                host = [os.path.join(bindir, "qwbdcawm"), "--device", f"tcp:127.0.0.1:{port}"]
                out = os.path.join(work, "out")
                results[n] = {label: peak_rss_kib(host + [a.replace("{out}", out) for a in args],
                                                  env)
                              for label, args in commands}
            finally:
                emu.terminate()
                emu.wait()
    for what in next(iter(results.values())):
        row = ", ".join(f"{n}: {results[n][what] / 1024:.1f} MiB" for n in sizes)
        grow = (results[sizes[-1]][what] - results[sizes[0]][what]) / 1024
        print(f"peak RSS {what:23} {row}  ({grow:+.1f} MiB)", flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default="build/release")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--sizes", default="100,20000")
    ap.add_argument("--only", help="measure only the commands whose label has this text")
    a = ap.parse_args()
    bindir = os.path.join(a.build, "bin")
    startup(bindir, a.runs)
    memory(bindir, [int(s) for s in a.sizes.split(",")], a.only)


if __name__ == "__main__":
    sys.exit(main())
