"""The output volume on the test desktop's sound server: "volume.watch" answers the default sink's
level and mute as pactl sets them, and while watching reports every real change (volume, mute, a new
default sink) once, and nothing when nothing changed; a sound server that goes away and comes back."""

import re
import time
import unittest

import audio
import desktop
import engine
from sound_server import PrivateSoundServer

# How long a test waits to be sure that no notice comes.
QUIET_SECONDS = 0.4


def shown(sink="@DEFAULT_SINK@"):
    """The state the engine should report for a sink: the average of its channels' raw volumes as
    pactl shows them, over 65536 (100 %), at most 1; and its mute flag."""
    raw = [int(part.split("/")[0].split(":")[-1]) for part in
           audio.pactl("get-sink-volume", sink).split("\n")[0].split("Volume:", 1)[1].split(",")]
    muted = audio.pactl("get-sink-mute", sink).strip().endswith("yes")
    return {"volume": min(sum(channel / 65536 for channel in raw) / len(raw), 1.0), "muted": muted}


def keepalive_streams():
    """(sink input, sink) of each quiet stream the desktop keeps playing into one of its sinks."""
    found = []
    for block in audio.pactl("list", "sink-inputs").split("Sink Input #")[1:]:
        name = re.search(r'media\.name = "keepalive (\S+)"', block)
        if name:
            found.append((block.split("\n", 1)[0].strip(), name.group(1)))
    return found


class VolumeWatchTest(unittest.TestCase):
    """One engine for the file; each test leaves the speaker the default sink, unmuted."""

    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        cls.engine = engine.Engine()

    @classmethod
    def tearDownClass(cls):
        cls.engine.close()

    def setUp(self):
        self.addCleanup(self.restore)
        self.restore()
        self.engine.result("volume.watch", {"watch": False})
        self.engine.clear_notices()

    def restore(self):
        for sink in ("speaker", "micfeed"):
            audio.pactl("set-sink-volume", sink, "100%")
            audio.pactl("set-sink-mute", sink, "0")
        audio.pactl("set-default-sink", "speaker")
        # A new default sink takes every stream along, the desktop's keepalive streams too; an
        # idle sink would answer the next sound test at 2 s latency.
        for stream, sink in keepalive_streams():
            audio.pactl("move-sink-input", stream, sink)

    def changes_after(self, *command):
        """Runs one pactl command and returns the notices that follow it."""
        self.engine.clear_notices()
        audio.pactl(*command)
        time.sleep(QUIET_SECONDS)
        return self.engine.notices("volume.changed", timeout=0)

    def test_watch_follows_volume_mute_and_the_default_sink(self):
        audio.pactl("set-sink-volume", "speaker", "40%")
        audio.pactl("set-sink-volume", "micfeed", "25%")
        self.assertEqual(self.engine.result("volume.watch", {"watch": True}), shown())
        # Each command, and whether the default sink's state then differs from the last one reported.
        steps = [
            (("set-sink-volume", "speaker", "60%"), True),
            (("set-sink-volume", "speaker", "60%"), False),
            (("set-sink-mute", "speaker", "1"), True),
            (("set-sink-mute", "speaker", "1"), False),
            (("set-sink-volume", "speaker", "20%", "60%"), True),
            (("set-sink-volume", "speaker", "150%"), True),
            # Above 100 % is full volume, whatever the excess.
            (("set-sink-volume", "speaker", "130%"), False),
            # Another sink moving is no change of the default one.
            (("set-sink-volume", "micfeed", "30%"), False),
            (("set-default-sink", "micfeed"), True),
            (("set-sink-mute", "speaker", "0"), False),
            (("set-sink-volume", "speaker", "30%"), False),
            # A new default sink in the very state of the old one is no change either.
            (("set-default-sink", "speaker"), False),
        ]
        for command, changed in steps:
            notices = self.changes_after(*command)
            self.assertEqual(notices, [shown()] if changed else [], command)

    def test_not_watching_answers_the_state_and_reports_nothing(self):
        audio.pactl("set-sink-mute", "speaker", "1")
        self.assertEqual(self.engine.result("volume.watch", {"watch": False}), {"volume": 1.0, "muted": True})
        self.assertEqual(self.changes_after("set-sink-volume", "speaker", "50%"), [])

        self.engine.result("volume.watch", {"watch": True})
        self.assertEqual(self.changes_after("set-sink-volume", "speaker", "70%"), [shown()])
        self.assertEqual(self.engine.result("volume.watch", {"watch": False}), shown())
        self.assertEqual(self.changes_after("set-sink-mute", "speaker", "0"), [])


class LostSoundServerTest(unittest.TestCase):
    """A private sound server that the test kills and starts again under a watching engine."""

    def setUp(self):
        engine.require_engine()
        self.server = PrivateSoundServer("load-module module-null-sink sink_name=out\n"
                                         "set-default-sink out\nset-sink-volume out 32768\n")
        self.addCleanup(self.server.close)
        self.server.start()
        self.engine = engine.Engine(env=self.server.env)
        self.addCleanup(self.engine.close)

    def test_a_lost_server_reads_as_no_volume_and_a_new_one_is_followed(self):
        self.assertEqual(self.engine.result("volume.watch", {"watch": True}), {"volume": 0.5, "muted": False})
        self.server.stop()
        self.assertEqual(self.engine.notices("volume.changed", timeout=3), [{"volume": None, "muted": False}])
        self.assertEqual(self.engine.result("volume.watch", {"watch": True}), {"volume": None, "muted": False})

        self.engine.clear_notices()
        self.server.start()
        # Found again without any request, then followed as before.
        self.assertEqual(self.engine.notices("volume.changed", timeout=6), [{"volume": 0.5, "muted": False}])
        self.server.pactl("set-sink-mute", "out", "1")
        self.assertEqual(self.engine.notices("volume.changed", timeout=3, count=2)[1:],
                         [{"volume": 0.5, "muted": True}])
        self.assertEqual(self.engine.close(), 0)


if __name__ == "__main__":
    unittest.main()
