#!/usr/bin/env python3
"""A run killed at random moments: SIGKILL lands on `brevan /W` while it
converts a large listing, most often while it saves. After every kill
tvdata.xml must be byte for byte either the older guide or the complete new
one, never a mixture or a cut-off file, and neither the reader process nor
the folder helper must outlive the run.

A kill before the rename leaves the hidden temporary file
".tvdata.xml.brevan-XXXXXX" only when the folder helper dies too (it removes
an unfinished file when brevan dies); the campaign counts them, then ages
them past a minute and checks that the next good run removes every one.

Short run (CI):  killed_save_campaign.py --build build --trials 12 --rows 10000
Long run:        killed_save_campaign.py --build build --trials 100
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

OLDER_GUIDE = (
    "<?xml version='1.0'?>\r\n<tv generator-info-name=\"older run\">\r\n\t\r\n</tv>\r\n"
).encode()
TEMP_NAME = re.compile(r"^\.tvdata\.xml\.brevan-[A-Za-z0-9]{6}$")


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if TEMP_NAME.match(n))


def processes_running(exe):
    """Processes whose program is `exe` (brevan, its reader or its folder helper)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.readlink(f"/proc/{pid}/exe") == exe:
                with open(f"/proc/{pid}/stat") as f:
                    if f.read().split(") ")[-1].split()[0] != "Z":
                        found.append(int(pid))
        except OSError:
            pass
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder holding brevan and mdbwrite")
    parser.add_argument("--trials", type=int, default=100)
    parser.add_argument("--rows", type=int, default=60000, help="rows of the listing (the guide grows with them)")
    parser.add_argument("--seed", type=int, default=20240607)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="brevan-killed-")
    try:
        exe = os.path.join(work, "brevan")
        shutil.copy2(os.path.join(args.build, "brevan"), exe)
        # The program finds its database reader and its folder helper beside itself.
        reader = os.path.join(work, "brevan-reader")
        shutil.copy2(os.path.join(args.build, "brevan-reader"), reader)
        helper = os.path.join(work, "brevan-folder")
        shutil.copy2(os.path.join(args.build, "brevan-folder"), helper)
        db = os.path.join(work, "tvdaten.mdb")
        out = os.path.join(work, "guide")
        os.mkdir(out)
        guide = os.path.join(out, "tvdata.xml")
        with open(os.path.join(work, "brevan.ini"), "w") as f:
            f.write(f"[Default]\nTVMovieTvDataPath={db}\nTVMovieUpdatePath=\nmyHTPCPath={out}\n")
        subprocess.run([os.path.join(args.build, "mdbwrite"), db, "--sample", "--rows-total", str(args.rows),
                        "--past-days", "0", "--first-day", "2099-06-01", "--seed", str(args.seed % 100000)],
                       check=True)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}

        def start():
            return subprocess.Popen([exe, "/W"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, env=env)

        def put_older():
            with open(guide, "wb") as f:
                f.write(OLDER_GUIDE)

        # A whole run first: the complete new guide, and when its temporary file
        # appears (it is made before the listing is read, and written as the
        # guide is built).
        put_older()
        began = time.monotonic()
        proc = start()
        save_began = None
        while proc.poll() is None:
            if save_began is None and temporaries(out):
                save_began = time.monotonic()
            time.sleep(0.0005)
        ended = time.monotonic()
        if proc.returncode != 0:
            sys.exit(f"the whole run failed: {proc.stderr.read().decode(errors='replace')}")
        with open(guide, "rb") as f:
            new_guide = f.read()
        total = ended - began
        saving = ended - (save_began or ended)
        print(f"whole run {total:.2f} s, of which the save {saving:.3f} s; guide {len(new_guide) / 1e6:.1f} MB")

        counts = {"older": 0, "new": 0, "bad": 0}
        mid_save = 0
        ended_first = 0
        orphans = 0
        for trial in range(args.trials):
            put_older()
            during_save = rng.random() < 0.7
            before = set(temporaries(out))
            proc = start()
            if during_save:
                # Wait for this run's temporary file, then kill inside the save.
                while proc.poll() is None and not (set(temporaries(out)) - before):
                    time.sleep(0.0002)
                time.sleep(rng.uniform(0, saving * 1.1))
            else:
                time.sleep(rng.uniform(0, total * 1.05))
            if proc.poll() is not None:
                ended_first += 1
            proc.send_signal(signal.SIGKILL)
            proc.wait()
            # The reader dies with its parent, the folder helper when its
            # socket closes (removing an uncommitted file); give them a moment.
            for _ in range(200):
                if not any(processes_running(p) for p in (exe, reader, helper)):
                    break
                time.sleep(0.01)
            else:
                orphans += 1
            with open(guide, "rb") as f:
                content = f.read()
            if content == OLDER_GUIDE:
                outcome = "older"
            elif content == new_guide:
                outcome = "new"
            else:
                outcome = "bad"
                print(f"trial {trial}: tvdata.xml is neither guide ({len(content)} bytes)")
            counts[outcome] += 1
            if set(temporaries(out)) - before:
                mid_save += 1

        # The leftovers, aged past a minute, go with the next good run.
        left_behind = len(temporaries(out))
        old = time.time() - 120
        for name in temporaries(out):
            os.utime(os.path.join(out, name), (old, old))
        proc = start()
        proc.wait()
        remaining = temporaries(out)
        with open(guide, "rb") as f:
            final_ok = proc.returncode == 0 and f.read() == new_guide

        print(f"killed save: seed {args.seed}, {args.trials} kills ({args.trials - ended_first} while running, "
              f"{mid_save} of them left a temporary file): tvdata.xml was the older guide {counts['older']} times, "
              f"the complete new guide {counts['new']} times, anything else {counts['bad']} times; "
              f"reader or folder helper processes outliving the run: {orphans}; temporary files there at the end: {left_behind} "
              f"(runs that completed removed those over a minute old), after the next good run: {len(remaining)}")
        ok = counts["bad"] == 0 and orphans == 0 and not remaining and final_ok
        if not final_ok:
            print("the run after the kills did not write the complete guide")
        return 0 if ok else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
