"""The desk methods that need no desktop, against real files: a home folder to search, PDFs,
calendar stores, and media made by ffmpeg, each decoded and compared with ffmpeg's own decode."""

import base64
import json
import os
import shutil
import tempfile
import unittest
import wave

import numpy

from desk_files import ffmpeg_decode, make_media, make_pdf
from test_protocol import ENGINE, bare_environment, converse

# 2026-01-01T00:00:00Z.
NEW_YEAR = 1767225600


def ask(requests, home=None, timeout=60):
    """Replies by id to (method, params) requests, with HOME set to `home`."""
    lines = ['{"id":%d,"method":"%s","params":%s}\n' % (index + 1, method, json.dumps(params))
             for index, (method, params) in enumerate(requests)]
    extra = {"TZ": "UTC"}
    if home is not None:
        extra.update(HOME=home, XDG_DATA_HOME=os.path.join(home, ".local", "share"))
    out, err, status = converse(lines, env=bare_environment(**extra), timeout=timeout)
    if status != 0:
        raise AssertionError("the engine ended with %d: %s" % (status, err))
    replies = {reply["id"]: reply for reply in map(json.loads, out)}
    return [replies[index + 1] for index in range(len(requests))]


def error(message, code="invalid_params"):
    return {"code": code, "message": message}


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="halcy-desk-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def write(self, relative, data=b"x", modified=None):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode())
        if modified is not None:
            os.utime(path, (NEW_YEAR + modified, NEW_YEAR + modified))
        return path


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class FilesSearch(Folder):
    def test_finds_names_whatever_their_case_and_accents_newest_first(self):
        self.write("Documents/Café Menu.PDF", modified=500)
        self.write("Documents/archive/cafe-2019.txt", modified=100)
        self.write("Documents/CAFÉ.md", "three", modified=300)
        self.write("Pictures/caffè.jpg", modified=400)
        self.write("Music/Cafe\u0301 del Mar.mp3", modified=200)
        self.write(".cache/cafe.tmp", modified=900)
        self.write("Downloads/.cafe.part", modified=900)
        os.symlink(self.folder, self.path("Documents", "loop"))
        os.symlink(self.path("missing-cafe"), self.path("cafe-broken"))
        os.makedirs(self.path("cafe folder"))
        os.makedirs(self.path("Locked"))
        self.write("Locked/cafe-locked.txt", modified=50)
        os.chmod(self.path("Locked"), 0)
        self.addCleanup(os.chmod, self.path("Locked"), 0o755)

        found, limited, other, refused = ask([
            ("files.search", {"names": ["CAFÉ"], "limit": 40, "patienceMs": 5000}),
            ("files.search", {"names": ["cafe"], "limit": 2, "patienceMs": 100}),
            ("files.search", {"names": ["nothing", "CAFFÈ"], "limit": 40, "patienceMs": 5000}),
            ("files.search", {"names": ["cafe"], "limit": 41, "patienceMs": 5000}),
        ], home=self.folder)

        result = found["result"]
        self.assertFalse(result["timedOut"])
        names = [entry["name"] for entry in result["files"]]
        expected = ["Café Menu.PDF", "CAFÉ.md", "Cafe\u0301 del Mar.mp3", "cafe-2019.txt"]
        if os.geteuid() != 0:
            self.assertNotIn("cafe-locked.txt", names)
        else:
            expected.append("cafe-locked.txt")
        self.assertEqual(names, expected)
        self.assertEqual(result["files"][1], {"path": self.path("Documents", "CAFÉ.md"),
                                              "name": "CAFÉ.md",
                                              "modified": (NEW_YEAR + 300) * 1000.0,
                                              "bytes": 5})
        self.assertEqual([entry["name"] for entry in limited["result"]["files"]],
                         ["Café Menu.PDF", "CAFÉ.md"])
        self.assertEqual([entry["name"] for entry in other["result"]["files"]], ["caffè.jpg"])
        self.assertEqual(refused["error"], error("Invalid params for files.search."))

    def test_a_home_that_is_gone_finds_nothing(self):
        reply, = ask([("files.search", {"names": ["a"], "limit": 1, "patienceMs": 100})],
                     home=self.path("gone"))
        self.assertEqual(reply["result"], {"files": [], "timedOut": False})


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class PdfText(unittest.TestCase):
    def test_gives_the_text_and_page_count_of_a_pdf(self):
        pdf = make_pdf([["Hello World", "Second line"], ["Café crème (brûlée)", "Done"]])
        damaged = pdf[: len(pdf) // 3]
        encoded = base64.b64encode(pdf).decode()
        replies = ask([
            ("document.pdfText", {"data": encoded}),
            ("document.pdfText", {"data": base64.b64encode(b"not a pdf at all").decode()}),
            ("document.pdfText", {"data": base64.b64encode(damaged).decode()}),
            ("document.pdfText", {"data": encoded[:40] + "\n" + encoded[40:]}),
            ("document.pdfText", {"data": ""}),
        ])
        read = replies[0]["result"]
        self.assertEqual(read["pages"], 2)
        self.assertNotIn("\f", read["text"])
        self.assertEqual([line.strip() for line in read["text"].split("\n") if line.strip()],
                         ["Hello World", "Second line", "Café crème (brûlée)", "Done"])
        self.assertEqual(replies[1]["result"], {"text": "", "pages": 0})
        self.assertIn(replies[2]["result"]["pages"], (0, 1, 2))
        self.assertEqual(replies[3]["error"], error("Invalid params for document.pdfText."))
        self.assertEqual(replies[4]["error"], error("Invalid params for document.pdfText."))


BERLIN = """BEGIN:VTIMEZONE
TZID:Europe/Berlin
BEGIN:DAYLIGHT
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
DTSTART:19700329T020000
RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU
END:DAYLIGHT
BEGIN:STANDARD
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
DTSTART:19701025T030000
RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU
END:STANDARD
END:VTIMEZONE
"""

REVIEW = """BEGIN:VEVENT
UID:review-1@example.org
SUMMARY:Design review
DTSTART;TZID=Europe/Berlin:20260305T160000
DTEND;TZID=Europe/Berlin:20260305T170000
RRULE:FREQ=WEEKLY;UNTIL=20260402T150000Z
LOCATION:Blue room
DESCRIPTION:Bring the drawings.
URL:https://example.org/review
ORGANIZER;CN=Grace Hopper:mailto:grace@example.org
ATTENDEE;CN=Alan Turing;CUTYPE=INDIVIDUAL:mailto:Alan@Example.org
ATTENDEE;CN=Blue room;CUTYPE=ROOM:mailto:blue@example.org
ATTENDEE;CN=Reviewers;CUTYPE=GROUP:MAILTO:reviewers@example.org
END:VEVENT
BEGIN:VEVENT
UID:offsite@example.org
SUMMARY:Offsite
DTSTART;VALUE=DATE:20260319
DTEND;VALUE=DATE:20260321
END:VEVENT
"""


def calendar(body):
    text = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//halcy//test//EN\n" + body + "END:VCALENDAR\n"
    return text.replace("\n", "\r\n")


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class Calendar(Folder):
    def test_a_weekly_event_with_attendees_gives_its_occurrences_in_the_window(self):
        self.write(".local/share/evolution/calendar/system/calendar.ics", calendar(BERLIN + REVIEW))
        access, asked, events, outside = ask([
            ("calendar.access", {}),
            ("calendar.request", {}),
            ("calendar.events", {"from": "2026-03-10T00:00:00Z", "to": "2026-04-10T00:00:00.000Z"}),
            ("calendar.events", {"from": "2026-05-01T00:00:00Z", "to": "2026-05-02T00:00:00Z"}),
        ], home=self.folder)
        self.assertEqual(access["result"], {"state": "granted"})
        self.assertEqual(asked["result"], {"state": "granted"})
        self.assertEqual(outside["result"], {"events": []})
        people = {
            "organizer": {"name": "Grace Hopper", "email": "grace@example.org", "kind": "person"},
            "attendees": [
                {"name": "Alan Turing", "email": "Alan@Example.org", "kind": "person"},
                {"name": "Blue room", "email": "blue@example.org", "kind": "room"},
                {"name": "Reviewers", "email": "reviewers@example.org", "kind": "group"},
            ],
        }

        def review(start, end):
            return {"id": "review-1@example.org", "title": "Design review", "start": start,
                    "end": end, "allDay": False, "location": "Blue room",
                    "url": "https://example.org/review", "notes": "Bring the drawings.", **people}

        self.assertEqual(events["result"]["events"], [
            review("2026-03-12T15:00:00Z", "2026-03-12T16:00:00Z"),
            {"id": "offsite@example.org", "title": "Offsite", "start": "2026-03-19T00:00:00Z",
             "end": "2026-03-21T00:00:00Z", "allDay": True, "location": None, "url": None,
             "notes": None, "organizer": None, "attendees": []},
            review("2026-03-19T15:00:00Z", "2026-03-19T16:00:00Z"),
            review("2026-03-26T15:00:00Z", "2026-03-26T16:00:00Z"),
            review("2026-04-02T14:00:00Z", "2026-04-02T15:00:00Z"),
        ])

    def test_without_a_store_access_is_denied_and_events_refused(self):
        self.write(".calendars/work/notes.txt", "not a calendar")
        access, events, window = ask([
            ("calendar.access", {}),
            ("calendar.events", {"from": "2026-03-10T00:00:00Z", "to": "2026-03-11T00:00:00Z"}),
            ("calendar.events", {"from": "2026-03-10T00:00:00Z", "to": "2026-05-11T00:00:01Z"}),
        ], home=self.folder)
        self.assertEqual(access["result"], {"state": "denied"})
        self.assertEqual(events["error"], error(
            "Halcy does not have full access to the calendars on this Mac.", "not_permitted"))
        self.assertEqual(window["error"], error("At most 62 days are read at once."))


def samples_of(path):
    with wave.open(path, "rb") as wav:
        facts = (wav.getnchannels(), wav.getsampwidth(), wav.getframerate())
        return facts, numpy.frombuffer(wav.readframes(wav.getnframes()), dtype="<i2")


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
@unittest.skipUnless(shutil.which("ffmpeg"), "no ffmpeg to make media with")
class MediaDecode(Folder):
    def test_each_container_decodes_as_ffmpeg_decodes_it(self):
        sources = {
            "tone.m4a": dict(codec="aac"),
            "tone.mp3": dict(codec="libmp3lame"),
            "tone.wav": dict(codec="pcm_s16le"),
            "clip.mp4": dict(video=True, codec="aac"),
            "clip.MOV": dict(video=True, codec="pcm_s16le"),
        }
        requests = []
        for name, options in sources.items():
            make_media(self.path(name), **options)
            ffmpeg_decode(self.path(name), self.path(name + ".ffmpeg.wav"))
            requests.append(("media.decode", {"path": self.path(name),
                                              "out": self.path(name + ".WAV")}))
        replies = ask(requests)
        for (name, _), reply in zip(sources.items(), replies):
            with self.subTest(name=name):
                ours_facts, ours = samples_of(self.path(name + ".WAV"))
                theirs_facts, theirs = samples_of(self.path(name + ".ffmpeg.wav"))
                self.assertEqual(ours_facts, (1, 2, 16000))
                self.assertEqual(reply["result"], {"durationMs": round(len(ours) / 16),
                                                   "sampleRate": 16000, "channels": 1})
                self.assertEqual(len(ours), len(theirs))
                self.assertLessEqual(numpy.abs(ours.astype(int) - theirs.astype(int)).max(), 1)
                self.assertGreater(numpy.abs(ours).max(), 5000)
        leftovers = [name for name in os.listdir(self.folder) if name.startswith(".")]
        self.assertEqual(leftovers, [])

    def test_refused_and_unreadable_files_answer_their_errors_and_keep_the_old_output(self):
        make_media(self.path("tone.flac"), codec="flac")
        make_media(self.path("silent.mp4"), video=True, audio=False)
        make_media(self.path("tone.m4a"), seconds=3, codec="aac")
        with open(self.path("tone.m4a"), "rb") as whole:
            data = whole.read()
        self.write("cut.m4a", data[: len(data) // 2])
        self.write("text.mp3", "these are not the sounds you are looking for")
        self.write("empty.wav", b"")
        self.write("old.wav", b"previous")
        out = self.path("old.wav")
        replies = ask([
            ("media.decode", {"path": self.path("tone.flac"), "out": out}),
            ("media.decode", {"path": self.path("silent.mp4"), "out": out}),
            ("media.decode", {"path": self.path("text.mp3"), "out": out}),
            ("media.decode", {"path": self.path("empty.wav"), "out": out}),
            ("media.decode", {"path": self.path("missing.mp3"), "out": out}),
            ("media.decode", {"path": self.path("tone.m4a"), "out": self.path("no", "x.wav")}),
            ("media.decode", {"path": self.path("tone.m4a"), "out": self.path("tone.m4a")}),
            ("media.decode", {"path": "tone.m4a", "out": out}),
            ("media.decode", {"path": self.path("cut.m4a"), "out": self.path("cut.wav")}),
        ])
        unreadable = error("The file could not be read.", "failed")
        self.assertEqual([reply.get("error") for reply in replies[:8]], [
            error("media.decode does not read that type of file."),
            error("The file has no audio track.", "failed"),
            unreadable,
            unreadable,
            error("No file at that path."),
            error("No folder for the decoded file."),
            error("media.decode writes a .wav of its own."),
            error("media.decode takes absolute paths."),
        ])
        with open(out, "rb") as kept:
            self.assertEqual(kept.read(), b"previous")
        cut = replies[8]
        if "error" in cut:
            self.assertEqual(cut["error"], unreadable)
            self.assertFalse(os.path.exists(self.path("cut.wav")))
        else:
            self.assertLess(cut["result"]["durationMs"], 3000)
        leftovers = [name for name in os.listdir(self.folder) if name.startswith(".")]
        self.assertEqual(leftovers, [])


if __name__ == "__main__":
    unittest.main()
