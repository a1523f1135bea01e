#!/usr/bin/python3
"""Text fields against their peers, on the test desktop, in one run:
- "focus.read" of the fixture's Name field (with 0, 200 and 6000 characters of surrounding text)
  against a pyatspi script that reads the same facts in its own process (focused element, role,
  value, selection, placeholder, caret, window title, breadth-first window text);
- the same in a big window (hundreds of labels, and a list whose cells the application's cache
  leaves out);
- the insertion sequence ("clipboard.save", "clipboard.write", "input.paste", "clipboard.restore")
  against xclip and xdotool doing the same (save the text, write, Control+V, restore).
Prints medians and the ratios; never fails on numbers.

    scripts/desktop run /usr/bin/python3 bench/fields_bench.py [--engine PATH] [--rounds N]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "e2e"))
import harness  # noqa: E402

import pyatspi  # noqa: E402

HARVESTED = {pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
             pyatspi.ROLE_PARAGRAPH, pyatspi.ROLE_CAPTION, pyatspi.ROLE_TERMINAL}


def median_ms(samples):
    return statistics.median(samples) * 1000.0


def timed(action, rounds):
    samples = []
    for _ in range(rounds):
        start = time.perf_counter()
        action()
        samples.append(time.perf_counter() - start)
    return median_ms(samples)


# --- the pyatspi peer ---------------------------------------------------------------------------

def peer_focus_read(pid, chars):
    desktop = pyatspi.Registry.getDesktop(0)
    app = next(a for a in desktop if a is not None and a.get_process_id() == pid)
    window = next((w for w in app if w.getState().contains(pyatspi.STATE_ACTIVE)), app[0])
    states = pyatspi.StateSet()
    states.add(pyatspi.STATE_FOCUSED)
    rule = window.queryCollection().createMatchRule(states, pyatspi.Collection.MATCH_ALL, {},
                                                    pyatspi.Collection.MATCH_ANY, [], pyatspi.Collection.MATCH_ANY,
                                                    [], pyatspi.Collection.MATCH_ANY, False)
    found = window.queryCollection().getMatches(rule, pyatspi.Collection.SORT_ORDER_CANONICAL, 1, True)
    focused = found[0] if found else pyatspi.findDescendant(
        window, lambda node: node.getState().contains(pyatspi.STATE_FOCUSED))
    facts = {"role": focused.getRole(), "window": window.name}
    attributes = dict(a.split(":", 1) for a in focused.getAttributes() if ":" in a)
    facts["placeholder"] = attributes.get("placeholder-text")
    text = focused.queryText()
    facts["value"] = text.getText(0, -1)
    facts["caret"] = text.caretOffset
    if text.getNSelections() > 0:
        start, end = text.getSelection(0)
        facts["selected"] = text.getText(start, end)
    if chars > 0:
        texts, total, queue, budget = [], 0, [window], 2500
        while queue and budget > 0 and total < chars:
            node = queue.pop(0)
            budget -= 1
            if node.getRole() in HARVESTED:
                try:
                    entry = node.queryText().getText(0, -1).strip()
                except NotImplementedError:
                    entry = (node.name or "").strip()
                if entry:
                    texts.append(entry)
                    total += len(entry)
            queue.extend(child for child in node if child is not None)
        facts["surrounding"] = "\n".join(texts)[:chars]
    return facts


def peer_insert(text):
    saved = subprocess.run(["xclip", "-o", "-selection", "clipboard"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL).stdout
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=text.encode(), check=True)
    subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+v"], check=True)
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=saved, check=True)


def start_big_window(labels=400, rows=100):
    """A window of many labels and a long list (fixtures/big_window.py); its process and pid."""
    proc = subprocess.Popen([harness.SYSTEM_PYTHON, str(harness.FIXTURES / "big_window.py"), str(labels), str(rows)],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    ready = proc.stdout.readline()
    return proc, int(json.loads(ready)["pid"])


# --- the engine -----------------------------------------------------------------------------------

def engine_insert(engine, text):
    saved = engine.result("clipboard.save")
    written = engine.result("clipboard.write", {"text": text, "transient": True})
    engine.result("input.paste")
    engine.result("clipboard.restore", {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})


def wait_typed(fixture, text):
    fixture.wait_event("changed", "name", where=lambda e: e["text"].endswith(text), timeout=5)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", default=os.environ.get("HALCY_ENGINE"))
    parser.add_argument("--rounds", type=int, default=40)
    options = parser.parse_args()
    harness.require_desktop()
    engine = harness.Engine(path=options.engine)
    fixture = harness.start_fixture(text="Ada Lovelace")
    harness.accessible_app(fixture.pid)
    harness.wait_for(lambda: engine.result("permissions.request", {"permission": "accessibility"})["state"]
                     == "granted", 10, 0.2)
    fixture.present()
    fixture.focus("name")
    harness.wait_for(lambda: fixture.state()["active"], 5)
    engine.result("focus.read", {"surroundingChars": 200})
    peer_focus_read(fixture.pid, 200)

    print("focus.read on the fixture (median of %d)" % options.rounds)
    for chars in (0, 200, 6000):
        ours = timed(lambda: engine.result("focus.read", {"surroundingChars": chars}), options.rounds)
        peer = timed(lambda: peer_focus_read(fixture.pid, chars), options.rounds)
        print("  surroundingChars %5d: engine %7.2f ms   pyatspi %7.2f ms   peer/engine %5.1fx"
              % (chars, ours, peer, peer / ours))

    big, big_pid = start_big_window()
    harness.accessible_app(big_pid)
    harness.wait_for(lambda: engine.result("focus.read", {"surroundingChars": 0, "pid": big_pid})["element"], 10,
                     0.1)
    print("focus.read in a window of 400 labels and a list of 100 rows (median of %d)" % options.rounds)
    for chars in (0, 200, 6000):
        params = {"surroundingChars": chars, "pid": big_pid}
        ours = timed(lambda: engine.result("focus.read", params), options.rounds)
        peer = timed(lambda: peer_focus_read(big_pid, chars), options.rounds)
        print("  surroundingChars %5d: engine %7.2f ms   pyatspi %7.2f ms   peer/engine %5.1fx"
              % (chars, ours, peer, peer / ours))
    big.stdin.close()
    big.wait(10)

    harness.clipboard_set_text("the user's copy", extra={"image/png": b"\x89PNG fake image"})
    rounds = max(5, options.rounds // 2)
    ours, peer = [], []
    for index in range(rounds):
        fixture.set("name", text="")
        start = time.perf_counter()
        engine_insert(engine, " e%d" % index)
        ours.append(time.perf_counter() - start)
        wait_typed(fixture, " e%d" % index)
        fixture.set("name", text="")
        start = time.perf_counter()
        peer_insert(" p%d" % index)
        peer.append(time.perf_counter() - start)
        wait_typed(fixture, " p%d" % index)
    print("insertion sequence (median of %d): engine %7.2f ms   xclip+xdotool %7.2f ms   peer/engine %5.1fx"
          % (rounds, median_ms(ours), median_ms(peer), median_ms(peer) / median_ms(ours)))
    fixture.close()
    harness.clipboard_release()
    engine.close()


if __name__ == "__main__":
    main()
