"""Real files for the desk methods' tests and benchmarks: PDFs written byte by byte, media made
by the ffmpeg tool."""

import subprocess


def _escaped(line):
    data = line.encode("cp1252")
    return data.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")


def make_pdf(pages):
    """A PDF with one page per entry of `pages`, each a list of text lines in Helvetica."""
    font = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
    objects = [b"", b"", font]
    kids = []
    for lines in pages:
        shown = b" ".join(b"(" + _escaped(line) + b") '" for line in lines)
        stream = b"BT /F1 12 Tf 72 760 Td 14 TL " + shown + b" ET"
        objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(stream), stream))
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                       b"/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>"
                       % len(objects))
        kids.append(len(objects))
    objects[0] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objects[1] = (b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % kid for kid in kids) +
                  b"] /Count %d >>" % len(kids))
    out = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    table = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, table)
    return out


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", *args],
                   check=True)


# Two different tones left and right, so a wrong downmix shows.
STEREO_TONES = "aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(660*2*PI*t):s=44100:d={seconds}"


def make_media(path, seconds=1.5, video=False, audio=True, codec=None):
    """A media file at `path` with a stereo tone and, if asked, a moving test picture."""
    inputs = []
    if audio:
        inputs += ["-f", "lavfi", "-i", STEREO_TONES.format(seconds=seconds)]
    if video:
        inputs += ["-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=%s" % seconds]
    options = []
    if codec:
        options += ["-c:a", codec]
    if video:
        options += ["-c:v", "mpeg4", "-pix_fmt", "yuv420p"]
    ffmpeg(*inputs, *options, path)


def ffmpeg_decode(path, out):
    """What the ffmpeg tool itself makes of `path` as 16 kHz mono 16-bit WAV."""
    ffmpeg("-i", path, "-vn", "-ac", "1", "-ar", "16000", "-c:a", "pcm_s16le", out)
