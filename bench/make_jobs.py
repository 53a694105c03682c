#!/usr/bin/env python3
"""Makes the jobs the benchmarks start programs in.

    make_jobs.py MARULA_POINTS FOLDER POINTS [EVENTS]

Writes FOLDER/points.sim (POINTS points as a CAD writes them: CP932, CRLF,
fixed widths, a third with heights, names P0 ...), imports it into the job
FOLDER/job through marula-points, and adds EVENTS journal events to the job
in runs of 100 of the connecting traverse, each run ended ("end"), so no
program offers to restore one. POINTS 0 makes an empty job.
"""
import os
import sqlite3
import subprocess
import sys


def write_sima(path, count):
    with open(path, "wb") as f:
        f.write("G00,04,bench,\r\nZ00, /* 座標データ */,\r\nZ01,9,\r\nA00,\r\n".encode("cp932"))
        for i in range(count):
            x, y = -36000.0 - i * 0.013, -8000.0 + (i % 997) * 0.211
            h = "%11.3f" % (30 + (i % 50) * 0.1) if i % 3 == 0 else ""
            f.write(("A01,%5d,%-20s,%11.3f,%11.3f,%s,\r\n" % (i + 1, "P%d" % i, x, y, h)).encode("cp932"))
        f.write(b"A99,\r\n")


def add_events(db_file, events):
    db = sqlite3.connect(db_file)
    with db:
        for run in range(events // 100):
            cur = db.execute(
                "INSERT INTO journal_runs (program, started, ending, replayable) VALUES "
                "('linktrav', '2026-12-01 09:00:00', 'end', 100)")
            run_id = cur.lastrowid
            db.executemany("INSERT INTO journal_events (run, seq, line) VALUES (?, ?, ?)",
                           [(run_id, seq, "type %d" % (seq + run)) for seq in range(1, 101)])
    db.close()


def main():
    points_command, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    events = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    os.makedirs(folder, exist_ok=True)
    job = os.path.join(folder, "job")
    subprocess.run([points_command, "--job", job, "init", "--zone", "9"], check=True, stdout=subprocess.DEVNULL)
    if count > 0:
        sim = os.path.join(folder, "points.sim")
        write_sima(sim, count)
        subprocess.run([points_command, "--job", job, "import", sim], check=True, stdout=subprocess.DEVNULL)
    if events > 0:
        add_events(os.path.join(job, "job.db"), events)
    return 0


if __name__ == "__main__":
    sys.exit(main())
