"""A minimal PNG reader and writer on zlib and NumPy, enough for the example and the tests:
8- and 16-bit gray, gray and alpha, RGB and RGBA, not interlaced. A pipeline would use its own
image library (OpenImageIO, imageio, Pillow) instead."""

import struct
import zlib

import numpy as np

_CHANNELS = {0: 1, 4: 2, 2: 3, 6: 4}  # colour type -> samples per pixel
_COLOUR_TYPE = {channels: colour for colour, channels in _CHANNELS.items()}
_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _chunks(data):
    at = len(_SIGNATURE)
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        yield data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        at += 12 + length


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def _unfilter(kind, row, prior, bpp):
    if kind == 0:
        return row
    if kind == 1:  # Sub: a running sum along each byte of the pixel
        lanes = row.reshape(-1, bpp).astype(np.uint32)
        return (np.cumsum(lanes, axis=0) % 256).astype(np.uint8).reshape(-1)
    if kind == 2:
        return (row + prior).astype(np.uint8)
    out = bytearray(row.tobytes())
    up = prior.tobytes()
    for i in range(len(out)):
        left = out[i - bpp] if i >= bpp else 0
        if kind == 3:
            out[i] = (out[i] + (left + up[i]) // 2) & 0xFF
        else:
            upper_left = up[i - bpp] if i >= bpp else 0
            out[i] = (out[i] + _paeth(left, up[i], upper_left)) & 0xFF
    return np.frombuffer(bytes(out), np.uint8)


def read_png(path):
    """The image as an array of shape (H, W) for gray, else (H, W, channels), uint8 or uint16."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(_SIGNATURE):
        raise ValueError(f"{path}: not a PNG file")
    compressed = b""
    for kind, body in _chunks(data):
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
    if depth not in (8, 16) or colour not in _CHANNELS or interlace:
        raise ValueError(f"{path}: only 8- and 16-bit non-interlaced gray or RGB(A) PNGs")
    channels = _CHANNELS[colour]
    bpp = channels * depth // 8
    stride = width * bpp
    raw = np.frombuffer(zlib.decompress(compressed), np.uint8).reshape(height, stride + 1)
    rows = np.empty((height, stride), np.uint8)
    prior = np.zeros(stride, np.uint8)
    for y in range(height):
        prior = rows[y] = _unfilter(raw[y, 0], raw[y, 1:], prior, bpp)
    samples = rows.view(">u2").astype(np.uint16) if depth == 16 else rows
    image = samples.reshape(height, width, channels)
    return image[:, :, 0] if channels == 1 else image


def write_png(path, image):
    """Writes a uint8 or uint16 array of shape (H, W) or (H, W, 2..4)."""
    image = np.asarray(image)
    channels = 1 if image.ndim == 2 else image.shape[2]
    height, width = image.shape[:2]
    depth = 16 if image.dtype == np.uint16 else 8
    samples = image.astype(">u2") if depth == 16 else image.astype(np.uint8)
    rows = samples.reshape(height, -1).view(np.uint8)
    raw = np.hstack([np.zeros((height, 1), np.uint8), rows]).tobytes()

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, height, depth, _COLOUR_TYPE[channels], 0, 0, 0)
    with open(path, "wb") as f:
        f.write(_SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6))
                + chunk(b"IEND", b""))
