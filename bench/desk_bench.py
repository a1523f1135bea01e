#!/usr/bin/python3
"""Desk methods against the command-line tools that do the same job, in one run:
- "files.search" over a home folder of 200 000 files against `find -iname`, warm and cold (cold
  drops the kernel's caches first, which needs root; otherwise it is skipped);
- "media.decode" of an hour of MP3 against the ffmpeg tool making the same 16 kHz mono WAV;
- "document.pdfText" of a 300-page PDF against pdftotext.
Prints medians and ratios; never fails on numbers. Needs no desktop.

    /usr/bin/python3 bench/desk_bench.py [--engine PATH] [--work DIR] [--rounds N]
"""

import argparse
import base64
import json
import os
import random
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "protocol"))
from desk_files import ffmpeg, make_pdf  # noqa: E402


class Engine:
    """One engine process, asked one request at a time."""

    def __init__(self, path, home):
        env = dict(os.environ, HOME=str(home))
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        self.next_id = 0

    def ask(self, method, params):
        self.next_id += 1
        line = json.dumps({"id": self.next_id, "method": method, "params": params}) + "\n"
        self.process.stdin.write(line.encode())
        self.process.stdin.flush()
        reply = json.loads(self.process.stdout.readline())
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply["result"]

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


def seconds_of(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def drop_caches():
    try:
        subprocess.run(["sync"], check=True)
        Path("/proc/sys/vm/drop_caches").write_text("3\n")
        return True
    except OSError:
        return False


def report(title, ours, peer, peer_name):
    print("%-44s engine %8.1f ms   %-12s %8.1f ms   %5.2fx" % (
        title, ours * 1000, peer_name, peer * 1000, peer / ours))


# --- files.search --------------------------------------------------------------------------------

WORDS = ["notes", "Budget", "photo", "Draft", "invoice", "résumé", "Übersicht", "plan", "IMG",
         "scan", "letter", "Agenda", "backup", "données", "song", "clip", "todo", "MEETING"]


def make_home(home, files=200_000, per_folder=20):
    marker = home / ".made"
    if marker.exists():
        return
    chooser = random.Random(7)
    for index in range(files):
        folder = index // per_folder
        path = home / ("d%d" % (folder // 400)) / ("e%d" % (folder // 20 % 20)) / ("f%d" % folder)
        if index % per_folder == 0:
            path.mkdir(parents=True, exist_ok=True)
        name = "%s %s %d.txt" % (chooser.choice(WORDS), chooser.choice(WORDS), index)
        if index % 997 == 0:
            name = "Quarterly Report %d.txt" % index
        (path / name).touch()
    marker.touch()


def bench_search(engine_path, work, rounds):
    home = work / "home"
    home.mkdir(parents=True, exist_ok=True)
    make_home(home)
    engine = Engine(engine_path, home)
    params = {"names": ["report"], "limit": 40, "patienceMs": 5000}
    find = ["find", str(home), "-iname", "*report*", "-type", "f"]

    def search():
        found = engine.ask("files.search", params)
        assert not found["timedOut"], "the search ran out of patience"
        assert len(found["files"]) == 40

    def peer():
        subprocess.run(find, check=True, stdout=subprocess.DEVNULL)

    search()
    peer()
    ours = statistics.median(seconds_of(search) for _ in range(rounds))
    theirs = statistics.median(seconds_of(peer) for _ in range(rounds))
    report("files.search, 200 000 files, warm", ours, theirs, "find -iname")
    if drop_caches():
        cold_ours, cold_theirs = [], []
        for _ in range(max(2, rounds // 2)):
            drop_caches()
            cold_ours.append(seconds_of(search))
            drop_caches()
            cold_theirs.append(seconds_of(peer))
        report("files.search, 200 000 files, cold", statistics.median(cold_ours),
               statistics.median(cold_theirs), "find -iname")
    else:
        print("files.search cold: skipped (the kernel's caches cannot be dropped here)")
    engine.close()


# --- media.decode --------------------------------------------------------------------------------

def bench_decode(engine_path, work, rounds):
    mp3 = work / "hour.mp3"
    if not mp3.exists():
        ffmpeg("-f", "lavfi", "-i", "sine=frequency=300:sample_rate=44100:duration=3600",
               "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k", str(mp3))
    engine = Engine(engine_path, work)
    ours_out, theirs_out = work / "hour-engine.wav", work / "hour-ffmpeg.wav"

    def decode():
        engine.ask("media.decode", {"path": str(mp3), "out": str(ours_out)})

    def peer():
        ffmpeg("-i", str(mp3), "-vn", "-ac", "1", "-ar", "16000", "-c:a", "pcm_s16le",
               str(theirs_out))

    ours, theirs = [], []
    for _ in range(rounds):
        ours.append(seconds_of(decode))
        theirs.append(seconds_of(peer))
    report("media.decode, an hour of MP3", statistics.median(ours), statistics.median(theirs),
           "ffmpeg")
    engine.close()


# --- document.pdfText ----------------------------------------------------------------------------

def bench_pdf(engine_path, work, rounds):
    pdf = work / "pages.pdf"
    if not pdf.exists():
        chooser = random.Random(3)
        pages = [["%s %s %s, line %d of page %d." % (chooser.choice(WORDS), chooser.choice(WORDS),
                                                     chooser.choice(WORDS), line, page)
                  for line in range(48)] for page in range(300)]
        pdf.write_bytes(make_pdf(pages))
    data = base64.b64encode(pdf.read_bytes()).decode()
    engine = Engine(engine_path, work)

    def read():
        assert engine.ask("document.pdfText", {"data": data})["pages"] == 300

    def peer():
        subprocess.run(["pdftotext", str(pdf), str(work / "pages.txt")], check=True)

    read()
    ours = statistics.median(seconds_of(read) for _ in range(rounds))
    theirs = statistics.median(seconds_of(peer) for _ in range(rounds))
    report("document.pdfText, 300 pages", ours, theirs, "pdftotext")
    engine.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", default=str(REPO / "build" / "bin" / "halcy-engine"))
    parser.add_argument("--work", default="/tmp/halcy-desk-bench")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--only", choices=["search", "decode", "pdf"])
    args = parser.parse_args()
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    benches = {"search": bench_search, "decode": bench_decode, "pdf": bench_pdf}
    for name, bench in benches.items():
        if args.only in (None, name):
            bench(args.engine, work, args.rounds)


if __name__ == "__main__":
    main()
