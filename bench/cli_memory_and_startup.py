#!/usr/bin/env python3
"""The CLI's start-up time and its peak memory by record count, measured (never asserted).

  bench/cli_memory_and_startup.py [BUILD_DIR] [--runs N] [--sizes 100,20000]

Start-up: `qwbdcawm tasks list` on the built-in demo phone (its image made once, before the
timed runs, in a scratch cache folder), N runs, min and median wall time.

Memory: for each size, an emulator image holding that many tasks (written straight into
its store), served by `qwbdcawm-emu serve`; then `tasks list`, `tasks list --json` and
`export` against it under /usr/bin/time -v, and the peak RSS ("Maximum resident set size")
of each, with the difference between the largest and the smallest size.
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


def seed_tasks(image_dir, n):
    db = sqlite3.connect(os.path.join(image_dir, "image.sqlite"))
    with db:
        db.execute("DELETE FROM record_props WHERE id IN (SELECT id FROM records WHERE kind = 3)")
        db.execute("DELETE FROM records WHERE kind = 3")
        first = db.execute("SELECT COALESCE(MAX(id), 0) + 1 FROM records").fetchone()[0]
        ids = range(first, first + n)
        db.executemany("INSERT INTO records(id, kind) VALUES (?, 3)", ((i,) for i in ids))
        rows = []
        for k, i in enumerate(ids):
            rows += [(i, 0, "Subject", 1, f"Task {k}: 보험 서류 (insurance papers)"),
                     (i, 1, "Body", 1, "Compare three quotes; the broker's number is in contacts."),
                     (i, 2, "StartDate", 2, 46100.0 + k % 300),
                     (i, 3, "DueDate", 2, 46107.0 + k % 300),
                     (i, 4, "Complete", 4, 0),
                     (i, 5, "Importance", 3, 1 + k % 3),
                     (i, 6, "Categories", 1, "Business"),
                     (i, 7, "ulSensitivity", 3, 0)]
        db.executemany("INSERT INTO record_props(id, seq, name, type, value) VALUES (?,?,?,?,?)",
                       rows)
    db.close()


def memory(bindir, sizes):
    results = {}
    for n in sizes:
        with tempfile.TemporaryDirectory() as work:
            image = os.path.join(work, "phone")
            subprocess.run([os.path.join(bindir, "qwbdcawm-emu"), "init", image, "--preset",
                            "empty", "--model", "Aster W1"], check=True,
                           stdout=subprocess.DEVNULL)
            seed_tasks(image, n)
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
                results[n] = {
                    "tasks list": peak_rss_kib(host + ["tasks", "list"], env),
                    "tasks list --json": peak_rss_kib(host + ["tasks", "list", "--json"], env),
                    "export": peak_rss_kib(host + ["export", os.path.join(work, "out")], env),
                }
            finally:
                emu.terminate()
                emu.wait()
    for what in next(iter(results.values())):
        row = ", ".join(f"{n}: {results[n][what] / 1024:.1f} MiB" for n in sizes)
        grow = (results[sizes[-1]][what] - results[sizes[0]][what]) / 1024
        print(f"peak RSS {what:18} {row}  (+{grow:.1f} MiB)")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default="build/release")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--sizes", default="100,20000")
    a = ap.parse_args()
    bindir = os.path.join(a.build, "bin")
    startup(bindir, a.runs)
    memory(bindir, [int(s) for s in a.sizes.split(",")])


if __name__ == "__main__":
    sys.exit(main())
