#!/usr/bin/env python3
"""Random sessions for every Marula program, run in script mode.

Each session is a random event script: answers at every prompt (numbers,
negative numbers, 0, 1e300, text that is not a number, empty lines,
full-width digits, names of 0 to 300 characters mixing kanji, half-width
katakana, ASCII, emoji and control characters, the terminators "*" and
"＊"), function keys and double-clicks. A session passes when the program
exits by itself with status 0, within its time limit, with no sanitizer
report, and no screen dump or printed transcript holds "nan", "inf" or a
broken character. A failing session's script is saved so it can be run
again by hand:

    MARULA_HEADLESS=1 MARULA_SCRIPT=failed/<name>.script build/bin/<program>

Usage: fuzz_sessions.py --bin BUILD/bin [--seconds N | --sessions N]
                        [--seed S] [--failed DIR] [--programs a,b,...]
"""

import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

PROGRAMS = [
    "marula", "linktrav", "looptrav", "opentrav", "radtrav", "isect2d", "isect1d",
    "isect4p", "perpfoot", "invchain", "invradial", "coordarea", "cornercut", "points",
]
# Programs that show nothing but a notice without a job: each session gets a
# fresh job of its own (and a home and data folder of its own to list).
JOB_PROGRAMS = {"points"}

KANJI = "測点基準交角距離方向座標結合閉連続放射逆算面積隅切北東南西一二三"
HALF_KANA = "ｱｲｳｴｵｶｷｸｹｺﾄﾗﾊﾞｽ"
ASCII = "ABCDEFGHJKLMPQRSTUVWXYZabcdeghjklmopqrstuvwxyz0123456789.-_ "
EMOJI = "😀🏔️🗾📐"
CONTROL = "\x01\x07\x08\x0b\x1b\x7f"
FULL_DIGITS = "０１２３４５６７８９"


def random_name(rng):
    length = rng.choice([0, 1, 2, 6, 7, 12, rng.randint(0, 300)])
    pools = [KANJI, HALF_KANA, ASCII, EMOJI, CONTROL]
    weights = [4, 2, 6, 1, 1]
    chars = []
    for _ in range(length):
        pool = rng.choices(pools, weights)[0]
        chars.append(rng.choice(pool))
    name = "".join(chars)
    # Keep the words that the checks look for out of the typed names.
    return re.sub(r"(?i)nan|inf", "x", name)


def random_number(rng):
    kind = rng.randrange(12)
    if kind == 0:
        return "0"
    if kind == 1:
        return "1e300"
    if kind == 2:
        return "-" + str(round(rng.uniform(0, 400), rng.choice([0, 3, 4])))
    if kind == 3:
        return "".join(FULL_DIGITS[int(c)] if c.isdigit() else ("．" if c == "." else c)
                       for c in str(round(rng.uniform(0, 1000), 3)))
    if kind == 4:
        return rng.choice(["abc", "1..2", "--1", "12a", "ｘ", "1e999", "0x10"])
    if kind == 5:
        return ""
    if kind == 6:
        return str(rng.randint(1, 16))
    if kind == 7:
        return "%d.%02d%02d" % (rng.randint(0, 359), rng.randint(0, 70), rng.randint(0, 70))
    if kind == 8:
        return str(round(rng.uniform(-1e6, 1e6), 3))
    return str(round(rng.uniform(0, 2000), 3))


def random_line(rng):
    roll = rng.random()
    if roll < 0.38:
        return "type " + random_number(rng)
    if roll < 0.62:
        return "type " + random_name(rng)
    if roll < 0.68:
        return "type " + rng.choice(["*", "＊", "0"])
    if roll < 0.92:
        return "key F%d" % rng.randint(1, 8)
    if roll < 0.96:
        return "dblclick %d %d" % (rng.randint(0, 639), rng.randint(0, 431))
    return "key " + rng.choice(["Enter", "Backspace", "Escape", "F9", "F10"])


def random_script(rng):
    lines = [random_line(rng) for _ in range(rng.randint(5, 120))]
    # Sessions rarely leave on their own through the menu key; keep them
    # mostly inside the program they started in.
    return [l for l in lines if not (l == "key F7" and rng.random() < 0.7)]


BROKEN = re.compile("\ufffd")
BAD_WORDS = re.compile(r"(?i)nan|inf")


def check_outputs(out_dir):
    for name in os.listdir(out_dir):
        if not (name.endswith(".txt")):
            continue
        with open(os.path.join(out_dir, name), "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            return "%s is not valid UTF-8" % name
        if BROKEN.search(text):
            return "%s holds a broken character" % name
        match = BAD_WORDS.search(text)
        if match:
            return "%s holds %r" % (name, match.group(0))
    return None


def run_session(bin_dir, program, script, limit, glyph_cache):
    out_dir = tempfile.mkdtemp(prefix="marula-fuzz-")
    try:
        script_path = os.path.join(out_dir, "session.script")
        with open(script_path, "w", encoding="utf-8") as f:
            f.write("\n".join(script) + "\n")
        env = dict(os.environ)
        env.update({
            "MARULA_HEADLESS": "1",
            "MARULA_SCRIPT": script_path,
            "MARULA_OUT": out_dir,
            "MARULA_DATE": "2026/12/08",
            "XDG_CACHE_HOME": glyph_cache,
            "ASAN_OPTIONS": "detect_leaks=0:abort_on_error=0",
            "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
        })
        env.pop("MARULA_SCRIPT_OFFSET", None)
        if program in JOB_PROGRAMS and not env.get("MARULA_JOB"):
            env.update({
                "MARULA_JOB": os.path.join(out_dir, "job"),
                "HOME": out_dir,
                "XDG_DATA_HOME": os.path.join(out_dir, "data"),
                "XDG_CONFIG_HOME": os.path.join(out_dir, "config"),
            })
        try:
            proc = subprocess.run([os.path.join(bin_dir, program)], env=env, cwd=out_dir,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=limit)
        except subprocess.TimeoutExpired:
            return "hang (no exit within %d s)" % limit
        stderr = proc.stderr.decode("utf-8", "replace")
        if "Sanitizer" in stderr or "runtime error:" in stderr:
            return "sanitizer report:\n" + stderr[-3000:]
        if proc.returncode != 0:
            return "exit status %d\n%s" % (proc.returncode, stderr[-2000:])
        return check_outputs(out_dir)
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="folder holding the built programs")
    parser.add_argument("--seconds", type=float, default=0, help="time budget (0: use --sessions)")
    parser.add_argument("--sessions", type=int, default=130)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--limit", type=int, default=30, help="seconds one session may take")
    parser.add_argument("--failed", default="fuzz-failed", help="where failing scripts are saved")
    parser.add_argument("--programs", default=",".join(PROGRAMS))
    parser.add_argument("--jobs", type=int, default=1, help="sessions run side by side")
    args = parser.parse_args()

    # Sessions run in folders of their own, so the programs are named by full path.
    args.bin = os.path.abspath(args.bin)
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    programs = [p for p in args.programs.split(",") if os.path.exists(os.path.join(args.bin, p))]
    if not programs:
        print("no programs found in", args.bin)
        return 2
    # One glyph cache for the run, shared by its sessions (and written by
    # them side by side), apart from the user's own: random names would
    # otherwise fill it with characters nobody uses.
    glyph_cache = tempfile.mkdtemp(prefix="marula-fuzz-glyphs-")
    start = time.time()
    passed = failed = 0
    started = 0

    def budget_left():
        if args.seconds > 0:
            return time.time() - start < args.seconds
        return started < args.sessions

    def record(program, script, problem):
        nonlocal passed, failed
        if problem is None:
            passed += 1
            return
        failed += 1
        os.makedirs(args.failed, exist_ok=True)
        stem = os.path.join(args.failed, "%s-%d-%d" % (program, seed, passed + failed))
        with open(stem + ".script", "w", encoding="utf-8") as f:
            f.write("\n".join(script) + "\n")
        with open(stem + ".why", "w", encoding="utf-8") as f:
            f.write(problem + "\n")
        print("FAIL %s (%s): %s" % (program, stem + ".script", problem.splitlines()[0]), flush=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        running = {}
        while budget_left() or running:
            while budget_left() and len(running) < max(1, args.jobs):
                program = programs[started % len(programs)]
                script = random_script(rng)
                started += 1
                future = pool.submit(run_session, args.bin, program, script, args.limit, glyph_cache)
                running[future] = (program, script)
            done, _ = concurrent.futures.wait(running, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in done:
                program, script = running.pop(future)
                record(program, script, future.result())
    elapsed = time.time() - start
    shutil.rmtree(glyph_cache, ignore_errors=True)
    print("fuzz: seed %d, %d sessions over %d programs in %.1f s" % (seed, passed + failed, len(programs), elapsed))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
