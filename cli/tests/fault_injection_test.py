#!/usr/bin/env python3
"""tovrin-smooth against hostile files, full disks and careless commands.

Each row runs the binary once in a fresh folder and checks its exit status, a part of its
message, that every file that was there before is byte for byte unchanged (inputs and earlier
results alike), that no temporary is left behind, and whatever the row adds. The files are made
here, byte by byte, so that they are what their row says whatever the codecs under test think.

The full-disk rows need a small tmpfs, which needs root: without it they are skipped, loudly.
"""
import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# ---- files made by hand -------------------------------------------------------------------


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_bytes(width, height, pixels, colour_type=6, before_idat=(), claim=None):
    """An 8-bit PNG; pixels are the rows' bytes without filter bytes. claim replaces the size
    the header declares."""
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour_type]
    row = width * channels
    raw = b"".join(b"\0" + pixels[y * row:(y + 1) * row] for y in range(height))
    w, h = claim or (width, height)
    header = struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0)
    chunks = [png_chunk(b"IHDR", header), *before_idat, png_chunk(b"IDAT", zlib.compress(raw)),
              png_chunk(b"IEND", b"")]
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunks)


def png_chunk_names(data):
    names, at = [], 8
    while at + 8 <= len(data):
        length, = struct.unpack(">I", data[at:at + 4])
        names.append(data[at + 4:at + 8])
        at += 12 + length
    return names


def tiff_bytes(width, height, samples, pixels, photometric=2, extra=None, pages=1, claim=None,
               bits=8):
    """An uncompressed little-endian TIFF of 8 or 16 bits (pixels little-endian too) and one strip
    per page, each page's directory before its samples (so that a truncated file keeps its
    directory). extra: the ExtraSamples value (1 associated alpha, 2 unassociated). claim
    replaces the size the header declares."""
    w, h = claim or (width, height)
    out = bytearray(b"II*\0" + struct.pack("<I", 8))
    for page in range(pages):
        start = len(out)
        count = 10 + (extra is not None)
        bits_at = start + 2 + 12 * count + 4
        strip_at = bits_at + 2 * samples
        end = strip_at + len(pixels) + (strip_at + len(pixels)) % 2
        tags = [(256, 4, 1, w), (257, 4, 1, h),
                (258, 3, samples, bits_at) if samples > 2 else (258, 3, 1, bits), (259, 3, 1, 1),
                (262, 3, 1, photometric), (273, 4, 1, strip_at), (277, 3, 1, samples),
                (278, 4, 1, h), (279, 4, 1, len(pixels)), (284, 3, 1, 1)]
        if extra is not None:
            tags.append((338, 3, 1, extra))
        out += struct.pack("<H", count)
        for number, kind, n, value in tags:
            field = struct.pack("<I", value) if (kind == 4 or n > 1) else \
                struct.pack("<HH", value, 0)
            out += struct.pack("<HHI", number, kind, n) + field
        out += struct.pack("<I", end if page + 1 < pages else 0)
        out += struct.pack("<%dH" % samples, *([bits] * samples)) + pixels
        out += b"\0" * (end - len(out))
    return bytes(out)


def tiff_fields(data):
    """The first page's SHORT and LONG fields, tag -> tuple of values, read back from a file
    written by anyone: enough of TIFF to check the association flag and read uncompressed strips."""
    e = "<" if data[:2] == b"II" else ">"
    ifd, = struct.unpack(e + "I", data[4:8])
    count, = struct.unpack(e + "H", data[ifd:ifd + 2])
    fields = {}
    for i in range(count):
        at = ifd + 2 + 12 * i
        tag, kind, n = struct.unpack(e + "HHI", data[at:at + 8])
        if kind not in (3, 4):
            continue
        size = 2 if kind == 3 else 4
        where = at + 8 if n * size <= 4 else struct.unpack(e + "I", data[at + 8:at + 12])[0]
        fields[tag] = struct.unpack(e + "%d%s" % (n, "H" if kind == 3 else "I"),
                                    data[where:where + n * size])
    return fields


def tiff_strips(data):
    """The samples of the first page of an uncompressed TIFF, its strips joined."""
    fields = tiff_fields(data)
    if fields.get(259, (1,))[0] != 1:
        raise RuntimeError("a compressed TIFF; this reads uncompressed strips only")
    return b"".join(data[o:o + n] for o, n in zip(fields[273], fields[279]))


def tga_bomb():
    """An 18-byte TGA header declaring 65535 x 65535 true-colour pixels, and nothing after."""
    return struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, 65535, 65535, 32, 8)


def cel(width=40, height=32, seed=1):
    """RGBA line art: a filled disc with a dark outline on transparency (stair-stepped edges)."""
    px = bytearray(width * height * 4)
    cx, cy = width // 2 + seed % 5, height // 2
    for y in range(height):
        for x in range(width):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if d <= 100:
                px[(y * width + x) * 4:(y * width + x + 1) * 4] = \
                    bytes((0, 0, 0, 255) if d > 64 else (200, 100, 50, 255))
    return bytes(px)


def stepped_png(width, height, seed):
    """An RGBA frame of diagonal bands with stair-stepped edges, quick to make at any size."""
    colours = [bytes((40 * seed % 256, 90, 200, 255)), bytes((250, 240, 220, 255)),
               bytes((20, 20, 30, 255))]
    pattern = b"".join(colours[i % 3] * 64 for i in range(width // 64 + 2))
    return png_bytes(width, height, b"".join(
        pattern[4 * ((y // 3 + seed) % 64):4 * ((y // 3 + seed) % 64 + width)]
        for y in range(height)))


def noise_png(width, height):
    rng = random.Random(7)
    return png_bytes(width, height, bytes(rng.getrandbits(8) for _ in range(width * height * 4)))


def exif_block():
    # A big-endian TIFF header with an empty IFD: the smallest valid Exif.
    return b"MM\0*\0\0\0\x08\0\0\0\0\0\0"

# ---- the harness ----------------------------------------------------------------------------


class Context:
    def __init__(self, binary, folder, tmpfs):
        self.binary, self.folder, self.tmpfs = binary, folder, tmpfs
        self.replaced = set()  # files the row expects the run to replace, checked by the row
        self.signals = None  # (ready(ctx), signals): sent 20 ms apart once ready

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def snapshot(folder):
    sums = {}
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    sums[path] = hashlib.sha256(f.read()).hexdigest()
    return sums


def leftovers(folder):
    return [os.path.join(root, name) for root, _, files in os.walk(folder)
            for name in files if name.startswith(".tovrin-")]


class Closed:
    """A row's message column for a run started with these descriptors closed, as `2>&-` or a
    daemon's wrapper leaves them: nothing to read the message from."""

    def __init__(self, *descriptors):
        self.descriptors = descriptors


def run(ctx, args, stderr_closed=False, closed=()):
    if ctx.signals:
        ready, signals = ctx.signals
        p = subprocess.Popen([ctx.binary, *args], cwd=ctx.folder, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.time() + 60
        while not ready(ctx) and time.time() < deadline:
            time.sleep(0.002)
        for number in signals:
            p.send_signal(number)
            time.sleep(0.02)
        return p.wait(timeout=120), p.stderr.read().decode(errors="replace")
    if closed:
        p = subprocess.run([ctx.binary, *args], cwd=ctx.folder, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120,
                           preexec_fn=lambda: [os.close(fd) for fd in closed])
        return p.returncode, ""
    if stderr_closed:
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            p = subprocess.run([ctx.binary, *args], cwd=ctx.folder, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=write_end, timeout=120)
        finally:
            os.close(write_end)
        return p.returncode, ""
    p = subprocess.run([ctx.binary, *args], cwd=ctx.folder, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=120)
    return p.returncode, p.stderr.decode(errors="replace")


# ---- the rows -------------------------------------------------------------------------------
# Each row: name, setup(ctx) -> arguments, exit status, part of the message (None: standard
# error is a pipe whose reader has gone; Closed(fd...): those descriptors closed at start),
# check(ctx) -> error text or None. Files that exist
# before the run must be unchanged after it.

def good(ctx, name="good.png", seed=1):
    ctx.write(name, png_bytes(40, 32, cel(seed=seed)))
    return name


def exists(*names):
    def check(ctx):
        missing = [n for n in names if not os.path.isfile(ctx.path(n))]
        return "missing outputs: %s" % missing if missing else None
    return check


def absent(*names):
    def check(ctx):
        there = [n for n in names if os.path.lexists(ctx.path(n))]
        return "unexpected outputs: %s" % there if there else None
    return check


def both(*checks):
    def check(ctx):
        for c in checks:
            error = c(ctx)
            if error:
                return error
        return None
    return check


def setup_full_disk(extension, rgb=False):
    def setup(ctx):
        ctx.write("big.png", noise_png(300, 300) if not rgb else
                  png_bytes(300, 300, bytes(random.Random(3).getrandbits(8)
                                            for _ in range(300 * 300 * 3)), colour_type=2))
        with open(os.path.join(ctx.tmpfs, "out." + extension), "wb") as f:
            f.write(b"an earlier good result")
        return ["big.png", "-o", os.path.join(ctx.tmpfs, "out." + extension)]
    return setup


def premultiplied_tiff(ctx):
    # Colour (200,100,50) at alpha 128, premultiplied, in a stair-stepped block on transparency;
    # the same picture with straight colour as a PNG, for the expected result.
    width, height = 24, 16
    pre, straight = bytearray(width * height * 4), bytearray(width * height * 4)
    for y in range(height):
        for x in range(width):
            if x < 6 + y // 2:
                at = (y * width + x) * 4
                pre[at:at + 4] = bytes((100, 50, 25, 128))
                straight[at:at + 4] = bytes((199, 100, 50, 128))  # 100*255/128 rounds to 199
    ctx.write("pre.tif", tiff_bytes(width, height, 4, bytes(pre), extra=1))
    ctx.write("straight.png", png_bytes(width, height, bytes(straight)))
    code, err = run(ctx, ["straight.png", "-o", "straight-out.png", "--smooth-range", "8"])
    if code != 0:
        raise RuntimeError("the straight twin failed: " + err)
    return ["pre.tif", "-o", "pre-out.tif", "--smooth-range", "8"]


def check_premultiplied(ctx):
    data = ctx.read("pre-out.tif")
    fields = tiff_fields(data)
    if fields.get(338) != (1,):
        return "ExtraSamples is %s, not 1 (associated alpha)" % (fields.get(338),)
    if fields.get(259, (1,)) != (1,):
        return "the result is compressed; this check reads uncompressed strips only"
    out = tiff_strips(data)[:24 * 16 * 4]
    expected = png_pixels(ctx.read("straight-out.png"), 24, 16)
    for i in range(0, len(out), 4):
        a = out[i + 3]
        if a != expected[i + 3]:
            return "alpha differs at pixel %d" % (i // 4)
        for c in range(3):
            want = (expected[i + c] * a + 127) // 255
            if abs(out[i + c] - want) > 1:
                return "pixel %d channel %d is %d, straight result premultiplied is %d" % (
                    i // 4, c, out[i + c], want)
    return None


def premultiplied_light(bits):
    """A premultiplied TIFF of premultiplied light: a glow whose colour exceeds its alpha (as
    compositing tools write for additive light), far from a stair-stepped opaque block the filter
    smooths. The glow must come back exactly as stored, and the report count the pixels whose
    samples changed in the file."""
    width, height, full = 24, 24, (1 << bits) - 1
    glow = [v * full // 255 for v in (230, 200, 120, 70)]
    block = [v * full // 255 for v in (40, 90, 200, 255)]
    pixels = []
    for y in range(height):
        for x in range(width):
            pixels.append(glow if x >= 16 and y >= 16 else block if x < 4 + y // 3 and y < 12
                          else [0, 0, 0, 0])
    flat = [v for p in pixels for v in p]
    data = struct.pack("<%d%s" % (len(flat), "B" if bits == 8 else "H"), *flat)

    def setup(ctx):
        ctx.write("light.tif", tiff_bytes(width, height, 4, data, extra=1, bits=bits))
        return ["light.tif", "-o", "out.tif", "--smooth-range", "8", "--report", "r.json"]

    def check(ctx):
        size = bits // 8 * 4
        before, after = tiff_strips(ctx.read("light.tif")), tiff_strips(ctx.read("out.tif"))
        if len(after) != len(before):
            return "the result holds %d bytes of samples, not %d" % (len(after), len(before))
        changed = [i for i in range(width * height)
                   if before[i * size:(i + 1) * size] != after[i * size:(i + 1) * size]]
        glow_changed = [i for i in changed if i % width >= 16 and i // width >= 16]
        if glow_changed:
            return "%d pixels of the glow changed, e.g. pixel %d" % (len(glow_changed),
                                                                     glow_changed[0])
        counted = json.loads(ctx.read("r.json"))["totals"]["changed_pixels"]
        if not changed or counted != len(changed):
            return "the report counts %d changed pixels; %d changed" % (counted, len(changed))
        return None
    return setup, check


def premultiplied_tiff_into_png(ctx):
    premultiplied_tiff(ctx)
    return ["pre.tif", "-o", "pre-out.png", "--smooth-range", "8"]


def check_straight_png(ctx):
    # A PNG holds straight colour: the result is the straight twin's, not premultiplied again.
    out = png_pixels(ctx.read("pre-out.png"), 24, 16)
    expected = png_pixels(ctx.read("straight-out.png"), 24, 16)
    differ = sum(a != b for a, b in zip(out, expected))
    return "%d samples differ from the straight twin's" % differ if differ else None


def png_pixels(data, width, height):
    """Pixels of an 8-bit RGBA non-interlaced PNG (as the binary writes them)."""
    at, idat = 8, b""
    while at < len(data):
        length, = struct.unpack(">I", data[at:at + 4])
        if data[at + 4:at + 8] == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    raw, row, out, prev = zlib.decompress(idat), width * 4, bytearray(), bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (row + 1)], bytearray(raw[y * (row + 1) + 1:(y + 1) * (row + 1)])
        for i in range(row):
            left = line[i - 4] if i >= 4 else 0
            up, upleft = prev[i], prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - upleft
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upleft)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else
                                      upleft)) & 255
        out += line
        prev = line
    return bytes(out)


def check_exif_once(ctx):
    names = png_chunk_names(ctx.read("exif-out.png"))
    if names.count(b"eXIf") != 1:
        return "the result has %d eXIf chunks" % names.count(b"eXIf")
    if shutil.which("pngcheck"):
        p = subprocess.run(["pngcheck", ctx.path("exif-out.png")], capture_output=True)
        if p.returncode != 0:
            return "pngcheck: " + p.stdout.decode(errors="replace")
    return None


def in_place_setup(ctx):
    good(ctx, "cel.png")
    os.chmod(ctx.path("cel.png"), 0o640)
    if os.geteuid() == 0:
        os.chown(ctx.path("cel.png"), 1234, 2345)
    return ["cel.png", "--in-place"]


def check_in_place(ctx):
    status = os.stat(ctx.path("cel.png"))
    owner = (1234, 2345) if os.geteuid() == 0 else (os.geteuid(), status.st_gid)
    if (status.st_mode & 0o7777, status.st_uid, status.st_gid) != (0o640, *owner):
        return "mode %o owner %d:%d" % (status.st_mode & 0o7777, status.st_uid, status.st_gid)
    if ctx.read("cel.png") == png_bytes(40, 32, cel()):
        return "the file was not replaced by its result"
    return None


def oiiotool(ctx, *args):
    subprocess.run(["oiiotool", *args], cwd=ctx.folder, check=True, capture_output=True)


def truncated(kind):
    def setup(ctx):
        if kind == "tif":
            ctx.write("cut.tif", tiff_bytes(40, 32, 4, cel())[:-2500])  # rows 16 to 31 gone
        else:
            ctx.write("whole.png", png_bytes(64, 64, bytes(random.Random(5).getrandbits(8)
                                                           for _ in range(64 * 64 * 3)), 2))
            oiiotool(ctx, "whole.png", "-o", "whole.jpg")
            ctx.write("cut.jpg", ctx.read("whole.jpg")[:len(ctx.read("whole.jpg")) // 2])
            os.remove(ctx.path("whole.jpg"))
        good(ctx)
        return ["cut." + kind, "good.png", "--out-dir", "out"] if kind == "tif" else \
            ["cut.jpg", "-o", "out.png"]  # a JPEG result would be refused before any work
    return setup


def jpeg_tiff(ctx):
    # A TIFF of JPEG strips, and the same pixels decoded into a PNG for the expected result.
    ctx.write("rgb.png", png_bytes(40, 32, bytes(b for i, b in enumerate(cel()) if i % 4 != 3),
                                   colour_type=2))
    oiiotool(ctx, "rgb.png", "--compression", "jpeg:90", "-o", "jpeg.tif")
    oiiotool(ctx, "jpeg.tif", "-o", "decoded.png")
    code, err = run(ctx, ["decoded.png", "-o", "decoded-out.png"])
    if code != 0:
        raise RuntimeError("the decoded twin failed: " + err)
    return ["jpeg.tif", "-o", "out.tif"]


def check_jpeg_tiff(ctx):
    p = subprocess.run(["oiiotool", "--diff", "out.tif", "decoded-out.png"], cwd=ctx.folder,
                       capture_output=True)
    return None if p.returncode == 0 else "out.tif differs: " + p.stdout.decode()[-300:]


def same_as_png_result(extension):
    """The result in another format holds the pixels of the PNG result."""
    def setup(ctx):
        good(ctx)
        code, err = run(ctx, ["good.png", "-o", "twin.png"])
        if code != 0:
            raise RuntimeError("the PNG twin failed: " + err)
        return ["good.png", "-o", "out." + extension]

    def check(ctx):
        p = subprocess.run(["oiiotool", "--diff", "out." + extension, "twin.png"],
                           cwd=ctx.folder, capture_output=True)
        return None if p.returncode == 0 else "differs: " + p.stdout.decode()[-300:]
    return setup, check


def check_help_into_full_stdout(ctx):
    for option in ["--help", "--version"]:
        with open("/dev/full", "wb") as full:
            p = subprocess.run([ctx.binary, option], stdout=full, stderr=subprocess.PIPE)
        if p.returncode == 0 or b"cannot write" not in p.stderr:
            return "%s into a full standard output: exit %d" % (option, p.returncode)
    return None


def shot_with_bad_frames(*options):
    """32 frames of 1280x720, every fourth one truncated, and the outputs of the same run with
    every descriptor open in twin/: the run under test must write the same files to out/."""
    def setup(ctx):
        for i in range(1, 33):
            data = stepped_png(1280, 720, i)
            ctx.write("shot/s.%04d.png" % i, data[:len(data) // 2] if i % 4 == 0 else data)
        args = ["shot/s.####.png", "--jobs", "2", *options]
        code, err = run(ctx, args + ["--out-dir", "twin"])
        if code != 1:
            raise RuntimeError("the twin run gave %d: %s" % (code, err))
        return args + ["--out-dir", "out"]

    def check(ctx):
        names = sorted(os.listdir(ctx.path("twin")))
        if sorted(os.listdir(ctx.path("out"))) != names:
            return "out/ holds %s" % sorted(os.listdir(ctx.path("out")))
        differ = [n for n in names if ctx.read("out/" + n) != ctx.read("twin/" + n)]
        return "frames differ from the twin run's: %s" % differ if differ else None
    return setup, check


def broken_results(ctx):
    """Five frames whose results and comparison pictures exist, as a twin run wrote them, but
    for frame 2's empty result, frame 3's cut short, frame 4's of another size and frame 5's
    comparison picture cut short: --skip-existing must skip frame 1 alone and redo the others."""
    for i in range(1, 6):
        good(ctx, "shot/s.%d.png" % i, i)
    os.mkdir(ctx.path("twin-c"))
    code, err = run(ctx, ["shot/s.#.png", "--out-dir", "twin", "--compare", "twin-c/s.#.png"])
    if code != 0:
        raise RuntimeError("the twin run failed: " + err)
    for i in range(1, 6):
        ctx.write("out/s.%d.png" % i, ctx.read("twin/s.%d.png" % i))
        ctx.write("c/s.%d.png" % i, ctx.read("twin-c/s.%d.png" % i))
    ctx.write("out/s.2.png", b"")
    ctx.write("out/s.3.png", ctx.read("twin/s.3.png")[:-40])
    ctx.write("out/s.4.png", png_bytes(40, 31, cel(40, 31)))
    ctx.write("c/s.5.png", ctx.read("twin-c/s.5.png")[:-1])
    ctx.replaced |= {ctx.path("out/s.%d.png" % i) for i in (2, 3, 4, 5)} | \
        {ctx.path("c/s.%d.png" % i) for i in (2, 3, 4, 5)}
    return ["shot/s.#.png", "--out-dir", "out", "--compare", "c/s.#.png", "--skip-existing",
            "--report", "r.json"]


def check_broken_results(ctx):
    for i in range(1, 6):
        for folder, twin in [("out", "twin"), ("c", "twin-c")]:
            if ctx.read("%s/s.%d.png" % (folder, i)) != ctx.read("%s/s.%d.png" % (twin, i)):
                return "%s/s.%d.png is not the twin run's" % (folder, i)
    frames = json.loads(ctx.read("r.json"))["frames"]
    statuses = [(f["status"], "done again" in (f["note"] or "")) for f in frames]
    want = [("skipped", False)] + [("smoothed", True)] * 4
    return "report: %s" % statuses if statuses != want else None


def second_signal(*signals):
    """Four large frames, one at a time; the signals come while frame 2 is being written. The
    first asks for a stop after that frame; the next, of either kind, ends the process at once,
    and may leave the hidden temporary of the frame in flight."""
    def setup(ctx):
        for i in range(1, 5):
            ctx.write("shot/s.%d.png" % i, stepped_png(3000, 3000, i))
        ctx.signals = (lambda c: os.path.exists(c.path("out/s.1.png")) and leftovers(c.folder),
                       signals)
        ctx.temporaries_allowed = True
        return ["shot/s.#.png", "--out-dir", "out", "--jobs", "1", "--threads", "1",
                "--png-compression", "9"]
    return setup


def clash_rows():
    def plain(*args, extra=None):
        def setup(ctx):
            good(ctx, "in.png")
            good(ctx, "f0.png", 2)
            good(ctx, "f10.png", 3)
            os.makedirs(ctx.path("sub"), exist_ok=True)
            os.link(ctx.path("in.png"), ctx.path("hard.png"))
            os.symlink("in.png", ctx.path("soft.png"))
            if extra:
                extra(ctx)
            return list(args)
        return setup
    two_dirs = lambda ctx: (good(ctx, "d1/a.png"), good(ctx, "d2/a.png"))
    return [
        ("compare over the input", plain("in.png", "-o", "out.png", "--compare", "in.png"),
         2, "is the input 'in.png'", absent("out.png")),
        ("compare over the input through ..", plain("in.png", "-o", "out.png", "--compare",
                                                    "sub/../in.png"), 2, "is the input", None),
        ("compare over a hard link of the input", plain("in.png", "-o", "out.png", "--compare",
                                                        "hard.png"), 2, "is the input", None),
        ("output over a symlink to the input", plain("in.png", "-o", "soft.png"), 2,
         "in-place", None),
        ("frame 0's output over frame 10's input", plain("f#.png", "-o", "f1#.png"), 2,
         "is the input 'f10.png'", None),
        ("two results into one file", plain("d1/a.png", "d2/a.png", "--out-dir", "out",
                                            extra=two_dirs), 2, "two results", absent("out")),
        ("one input twice in place", plain("in.png", "./in.png", "--in-place"), 2,
         "two results", None),
        ("sample cel: result and comparison one file", plain("-o", "x.png", "--compare",
                                                             "x.png"), 2, "two results",
         absent("x.png")),
        ("an output that is a device", plain("in.png", "-o", "/dev/null"), 2,
         "not a regular file", None),
    ]


def rows():
    table = [
        ("size bomb: PNG", lambda c: (c.write("bomb.png", png_bytes(1, 1, b"\0\0\0\0",
                                                                    claim=(100000, 100000))),
                                      good(c), ["bomb.png", "good.png", "--out-dir", "out"])[-1],
         1, "bomb.png: is too large", both(exists("out/good.png"), absent("out/bomb.png"))),
        # Below OpenImageIO's own limit of 32 GB, above the default pixel limit.
        ("size bomb: TIFF", lambda c: (c.write("bomb.tif", tiff_bytes(1, 1, 4, b"\0" * 4,
                                                                      claim=(20000, 20000))),
                                       good(c), ["bomb.tif", "good.png", "--out-dir", "out"])[-1],
         1, "bomb.tif: is too large", both(exists("out/good.png"), absent("out/bomb.tif"))),
        ("size bomb: TGA", lambda c: (c.write("bomb.tga", tga_bomb()), good(c),
                                      ["bomb.tga", "good.png", "--out-dir", "out"])[-1],
         1, "bomb.tga: is too large", exists("out/good.png")),
        ("--max-pixels lowers the limit", lambda c: [good(c), "-o", "out.png",
                                                     "--max-pixels", "1000"],
         1, "more than the limit of 1000", absent("out.png")),
        ("truncated TIFF", truncated("tif"), 1, "cut.tif:", both(exists("out/good.png"),
                                                                  absent("out/cut.tif"))),
        ("truncated JPEG", truncated("jpg"), 1, "cut.jpg:", absent("out.png")),
        ("CMYK TIFF", lambda c: [c.write("cmyk.tif", tiff_bytes(8, 8, 4, b"\x40" * 256,
                                                               photometric=5)) and "cmyk.tif",
                                 "-o", "out.tif"], 1, "CMYK", absent("out.tif")),
        ("two-page TIFF", lambda c: [c.write("pages.tif", tiff_bytes(8, 8, 4, b"\x40" * 256,
                                                                    pages=2)) and "pages.tif",
                                     "-o", "out.tif"], 1, "several images", absent("out.tif")),
        ("animated PNG", lambda c: [c.write("anim.png", png_bytes(
            8, 8, b"\x40" * 256, before_idat=[png_chunk(b"acTL", struct.pack(">II", 2, 0))]))
            and "anim.png", "-o", "out.png"], 1, "animated", absent("out.png")),
        ("premultiplied TIFF keeps its association", premultiplied_tiff, 0, "",
         check_premultiplied),
        ("JPEG-compressed TIFF is smoothed into a lossless one", jpeg_tiff, 0, "",
         check_jpeg_tiff),
        ("premultiplied TIFF into a PNG is straight", premultiplied_tiff_into_png, 0, "",
         check_straight_png),
        ("eXIf is copied once", lambda c: [c.write("exif.png", png_bytes(
            40, 32, cel(), before_idat=[png_chunk(b"eXIf", exif_block())])) and "exif.png",
            "-o", "exif-out.png"], 0, "", check_exif_once),
        ("FIFO input is refused, not waited on",
         lambda c: (os.mkfifo(c.path("fifo.png")), good(c),
                    ["fifo.png", "good.png", "--out-dir", "out"])[-1],
         1, "fifo.png: is not a regular file", exists("out/good.png")),
        ("--help and --version fail on a full standard output", lambda c: ["--version"], 0,
         "", check_help_into_full_stdout),
        ("closed pipe on the progress output",
         lambda c: [good(c), "-o", "out.png", "--progress"], 0, None, exists("out.png")),
        ("output name of 255 bytes", lambda c: [good(c), "-o", "n" * 251 + ".png"], 0, "",
         exists("n" * 251 + ".png")),
        ("JPEG output refused before any work", lambda c: [good(c), "-o", "out.jpg"], 2,
         "JPEG", absent("out.jpg")),
        ("WebP output refused before any work", lambda c: [good(c), "-o", "out.webp"], 2,
         "WebP", absent("out.webp")),
        ("PPM cannot hold alpha", lambda c: [good(c), "-o", "out.ppm"], 1,
         "no alpha channel", absent("out.ppm")),
        # OpenImageIO's DPX writer fails an assertion, ending the process, on 2, 5... channels.
        ("DPX of gray and alpha fails its frame alone",
         lambda c: (c.write("f1.png", png_bytes(40, 32, cel()[:40 * 32 * 2], colour_type=4)),
                    good(c, "f2.png"), ["f#.png", "-o", "o#.dpx"])[-1],
         1, "f1.png: cannot write", both(exists("o2.dpx"), absent("o1.dpx"))),
        ("frame numbers beyond 64 bits of range",
         lambda c: (good(c, "f1.png"), ["f#.png", "--frames", "0-9223372036854775807",
                                        "--out-dir", "out"])[-1],
         2, "--frames", absent("out")),
        ("a wide range costs the frames found",
         lambda c: (good(c, "f1.png"), ["f#.png", "--frames", "0-9999999", "--out-dir",
                                        "out"])[-1],
         1, "were not found", exists("out/f1.png")),
        ("--in-place keeps mode and owner", in_place_setup, 0, "", check_in_place),
        # The input must still be there, unchanged, when its frame is reported failed.
        ("--in-place with an unwritable comparison keeps the input",
         lambda c: [good(c, "in.png"), "--in-place", "--compare", "compare.txt"], 1,
         "cannot write the comparison picture", absent("compare.txt")),
        ("--skip-existing redoes results not whole", broken_results, 0, "done again",
         check_broken_results),
        ("--skip-existing redoes a TIFF cut short",
         lambda c: (good(c), oiiotool(c, "good.png", "-o", "good.tif"),
                    oiiotool(c, "good.png", "-o", "out.tif"),
                    c.write("out.tif", c.read("out.tif")[:100]), c.replaced.add(c.path("out.tif")),
                    ["good.tif", "-o", "out.tif", "--skip-existing"])[-1],
         0, "'out.tif' cannot be read", None),
        ("SIGTERM then SIGINT ends the run at once", second_signal(signal.SIGTERM,
                                                                    signal.SIGINT),
         -signal.SIGINT, "", absent("out/s.2.png", "out/s.3.png")),
        ("SIGINT then SIGTERM ends the run at once", second_signal(signal.SIGINT,
                                                                    signal.SIGTERM),
         -signal.SIGTERM, "", absent("out/s.2.png", "out/s.3.png")),
        ("'#' in a plain file name", lambda c: [good(c, "cel#1.png"), "-o", "out.png", "-j2"],
         0, "", exists("out.png")),
        ("high quality: a size bomb fails alone",
         lambda c: (c.write("bomb.png", png_bytes(1, 1, b"\0\0\0\0", claim=(100000, 100000))),
                    good(c), ["bomb.png", "good.png", "--out-dir", "out", "--quality", "high"])[-1],
         1, "bomb.png: is too large", both(exists("out/good.png"), absent("out/bomb.png"))),
        ("high quality in place: a truncated frame keeps its input",
         lambda c: (c.write("cut.png", png_bytes(40, 32, cel())[:120]),
                    ["cut.png", "--in-place", "--quality", "high", "--key", "255,255,255"])[-1],
         1, "cut.png:", None),
    ]
    for bits in (8, 16):
        setup, check = premultiplied_light(bits)
        table.append(("premultiplied light at %d bits kept" % bits, setup, 0, "of 576 pixels",
                      check))
    # Standard descriptors closed at start must not be handed to a frame's temporary.
    setup, check = shot_with_bad_frames("--progress")
    table.append(("closed stderr: progress stays out of the frames", setup, 1,
                  Closed(2), check))
    setup, check = shot_with_bad_frames("-q", "--report", "-")
    table.append(("closed stdout: --report - fails, frames whole", setup, 1,
                  Closed(1), check))
    table += clash_rows()
    # JPEG 2000's writer chooses its container by the name's extension.
    for ext in ["jp2", "j2k"]:
        setup, check = same_as_png_result(ext)
        table.append(("result as ." + ext, setup, 0, "", check))
    for ext in ["png", "tif", "tga", "bmp", "sgi", "dpx", "rla"]:
        table.append(("full disk: " + ext, setup_full_disk(ext), 1, "cannot write", None))
    table.append(("full disk: ppm", setup_full_disk("ppm", rgb=True), 1, "cannot write", None))
    return table


def mount_tmpfs(folder):
    if os.geteuid() != 0:
        return "not root"
    p = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=160k", "tovrin-full", folder],
                       capture_output=True)
    return None if p.returncode == 0 else p.stderr.decode(errors="replace").strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--only", help="run the rows whose name holds this")
    options = parser.parse_args()
    binary = os.path.abspath(options.binary)
    failures, skipped, ran = [], [], 0
    for name, setup, status, message, check in rows():
        if options.only and options.only not in name:
            continue
        with tempfile.TemporaryDirectory(prefix="tovrin-fault-") as folder:
            tmpfs = os.path.join(folder, "tmpfs")
            full_disk = name.startswith("full disk")
            if full_disk:
                os.mkdir(tmpfs)
                why = mount_tmpfs(tmpfs)
                if why:
                    skipped.append("%s (cannot mount a tmpfs: %s)" % (name, why))
                    continue
            try:
                ctx = Context(binary, folder, tmpfs)
                args = setup(ctx)
                before = snapshot(folder)
                closed = message.descriptors if isinstance(message, Closed) else ()
                code, err = run(ctx, args, stderr_closed=message is None, closed=closed)
                problems = []
                if code != status:
                    problems.append("exit status %d, expected %d" % (code, status))
                if message and not closed and message not in err:
                    problems.append("message lacks %r" % message)
                after = snapshot(folder)
                # What --in-place replaces on success is checked by its row instead.
                replaced = {ctx.path(a) for a in args} if "--in-place" in args and status == 0 \
                    else set()
                replaced |= ctx.replaced
                changed = [p for p, digest in before.items()
                           if after.get(p) != digest and p not in replaced]
                if changed:
                    problems.append("changed or removed: %s" % changed)
                if leftovers(folder) and not getattr(ctx, "temporaries_allowed", False):
                    problems.append("temporaries left: %s" % leftovers(folder))
                extra = check(ctx) if check and not problems else None
                if extra:
                    problems.append(extra)
                ran += 1
                if problems:
                    failures.append("%s: %s\n    stderr: %s" % (name, "; ".join(problems),
                                                                err.strip()[:600]))
                print("%-50s %s" % (name, "FAIL" if problems else "ok"), flush=True)
            finally:
                if full_disk:
                    subprocess.run(["umount", tmpfs], capture_output=True)
    for s in skipped:
        print("SKIPPED: " + s)
    for f in failures:
        print("FAILED: " + f)
    print("%d rows run, %d failed, %d skipped" % (ran, len(failures), len(skipped)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
