"""Spectrogram pictures of the listening comparison, written as PNG with
numpy and zlib alone: Tessaline on top, FluidSynth in the middle, and their
difference below (red where Tessaline is louder, blue where FluidSynth is),
each render first brought to the same overall level."""
import struct
import zlib

import numpy as np

ROWS = 240            # log-spaced frequency rows, 40 Hz at the bottom to 16 kHz
LOW_HZ, HIGH_HZ = 40.0, 16000.0
FLOOR_DB = -90.0
GAP = 4


def spectrogram(x, rate, seconds_per_column=0.01):
    """Power in dB (rows x columns) of a mono signal on log-spaced rows."""
    size = 2048
    hop = max(1, int(rate * seconds_per_column))
    win = np.hanning(size)
    freqs = np.fft.rfftfreq(size, 1 / rate)
    centres = LOW_HZ * (HIGH_HZ / LOW_HZ) ** (np.arange(ROWS) / (ROWS - 1))
    bins = np.clip(np.searchsorted(freqs, centres), 1, len(freqs) - 1)
    pad = np.concatenate([x, np.zeros(size)])
    cols = max(1, len(x) // hop)
    out = np.empty((ROWS, cols))
    for c in range(cols):
        seg = pad[c * hop:c * hop + size]
        if len(seg) < size:
            seg = np.concatenate([seg, np.zeros(size - len(seg))])
        p = np.abs(np.fft.rfft(seg * win)) ** 2
        out[:, c] = p[bins]
    return 10 * np.log10(out + 1e-20)


def _heat(db):
    """dB (0 = loudest) to RGB: black, blue, red, yellow, white."""
    v = np.clip((db - FLOOR_DB) / -FLOOR_DB, 0, 1)
    stops = np.array([[0, 0, 0], [30, 30, 160], [200, 30, 40], [250, 210, 40], [255, 255, 255]], float)
    pos = v * (len(stops) - 1)
    i = np.minimum(pos.astype(int), len(stops) - 2)
    f = (pos - i)[..., None]
    return (stops[i] * (1 - f) + stops[i + 1] * f).astype(np.uint8)


def _diff(a, b):
    """Signed difference in dB to RGB, quiet in both: black."""
    d = np.clip((a - b) / 20.0, -1, 1)[..., None]
    loud = np.clip((np.maximum(a, b) - FLOOR_DB) / -FLOOR_DB, 0, 1)[..., None]
    red = np.array([255, 40, 40], float)
    blue = np.array([40, 90, 255], float)
    grey = np.array([90, 90, 90], float)
    rgb = np.where(d > 0, grey * (1 - d) + red * d, grey * (1 + d) + blue * (-d))
    return (rgb * loud).astype(np.uint8)


def _shrink(s, width):
    """At most `width` columns, each the loudest of the columns it covers."""
    if s.shape[1] <= width:
        return s
    edges = np.linspace(0, s.shape[1], width + 1).astype(int)
    return np.stack([s[:, edges[i]:max(edges[i] + 1, edges[i + 1])].max(axis=1) for i in range(width)], axis=1)


def write_png(path, rgb):
    h, w, _ = rgb.shape
    raw = b"".join(b"\x00" + rgb[y].tobytes() for y in range(h))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def compare(path, ours, theirs, rate, width=1400):
    """Writes the three panels for two mono signals of one rate."""
    n = max(len(ours), len(theirs))
    a = np.concatenate([ours, np.zeros(n - len(ours))])
    b = np.concatenate([theirs, np.zeros(n - len(theirs))])
    a = a / (np.sqrt(np.mean(a ** 2)) + 1e-12)
    b = b / (np.sqrt(np.mean(b ** 2)) + 1e-12)
    sa, sb = spectrogram(a, rate), spectrogram(b, rate)
    top = max(sa.max(), sb.max())
    sa, sb = _shrink(sa - top, width)[::-1], _shrink(sb - top, width)[::-1]
    gap = np.full((GAP, sa.shape[1], 3), 255, np.uint8)
    write_png(path, np.concatenate([_heat(sa), gap, _heat(sb), gap, _diff(sa, sb)], axis=0))
