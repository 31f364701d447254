"""Standard MIDI files for the listening comparison: one writer for the
generated pieces, and a cutter that keeps the first seconds of a real file.

Times of the writer are in seconds at a fixed tempo (120 bpm, 480 ticks per
quarter: 960 ticks a second)."""
import struct

TPQ = 480
TICKS_PER_SECOND = 960.0


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def write(path, events):
    """events: (seconds, bytes) pairs, each a whole message (SysEx with F0)."""
    # Stable sort: events at one time keep the order they were given in.
    timed = sorted(((int(round(t * TICKS_PER_SECOND)), i, data) for i, (t, data) in enumerate(events)))
    track = bytearray(vlq(0) + bytes([0xFF, 0x51, 0x03]) + (500000).to_bytes(3, "big"))
    last = 0
    for tick, _, data in timed:
        track += vlq(tick - last)
        if data[0] == 0xF0:
            track += b"\xF0" + vlq(len(data) - 1) + data[1:]
        else:
            track += data
        last = tick
    track += vlq(0) + b"\xFF\x2F\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TPQ))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def _read_vlq(b, i):
    n = 0
    while True:
        c = b[i]
        i += 1
        n = (n << 7) | (c & 0x7F)
        if not c & 0x80:
            return n, i


def _events(track):
    """(tick, raw bytes of the event as stored, status) of one track; running
    status is written out so each event stands alone."""
    i, tick, running = 0, 0, 0
    while i < len(track):
        delta, i = _read_vlq(track, i)
        tick += delta
        start = i
        status = track[i]
        if status == 0xFF:
            _, j = _read_vlq(track, i + 2)
            length, _ = _read_vlq(track, i + 2)
            i = j + length
            yield tick, bytes(track[start:i]), status
            continue
        if status in (0xF0, 0xF7):
            length, j = _read_vlq(track, i + 1)
            i = j + length
            yield tick, bytes(track[start:i]), status
            continue
        if status & 0x80:
            running = status
            i += 1
            head = bytes([status])
        else:
            head = bytes([running])
        size = 1 if (running & 0xF0) in (0xC0, 0xD0) else 2
        data = bytes(track[i:i + size])
        i += size
        yield tick, head + data, running


def cut(src, dst, seconds):
    """Writes the first `seconds` of src to dst, every sounding note let go at
    the cut (all-notes-off and the sustain pedal up on all channels)."""
    raw = open(src, "rb").read()
    if raw[:4] != b"MThd":
        raise ValueError(f"{src}: not a standard MIDI file")
    hlen, fmt, ntracks, division = struct.unpack(">IHHH", raw[4:14])
    if division & 0x8000:
        raise ValueError(f"{src}: SMPTE time not handled")
    pos, tracks = 8 + hlen, []
    while pos < len(raw) and len(tracks) < ntracks:
        tag, length = raw[pos:pos + 4], struct.unpack(">I", raw[pos + 4:pos + 8])[0]
        if tag == b"MTrk":
            tracks.append(list(_events(raw[pos + 8:pos + 8 + length])))
        pos += 8 + length
    # The tick of the cut from the tempo map (tempo events of every track).
    tempos = sorted((t, int.from_bytes(e[3:6], "big")) for tr in tracks for t, e, s in tr
                    if s == 0xFF and e[1] == 0x51)
    limit, at_tick, at_sec, tempo = None, 0, 0.0, 500000
    for t, new in tempos + [(None, None)]:
        span = (t - at_tick) * tempo / 1e6 / division if t is not None else float("inf")
        if at_sec + span >= seconds:
            limit = at_tick + int((seconds - at_sec) * 1e6 * division / tempo)
            break
        at_sec += span
        at_tick, tempo = t, new
    out = []
    for n, tr in enumerate(tracks):
        body, last = bytearray(), 0
        for tick, data, status in tr:
            if tick >= limit or (status == 0xFF and data[1] == 0x2F):
                continue
            body += vlq(tick - last) + data
            last = tick
        if n == 0:
            for ch in range(16):
                body += vlq(limit - last) + bytes([0xB0 | ch, 64, 0])
                body += vlq(0) + bytes([0xB0 | ch, 123, 0])
                last = limit
        body += vlq(0) + b"\xFF\x2F\x00"
        out.append(bytes(body))
    with open(dst, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, fmt if fmt != 0 or len(out) == 1 else 1, len(out), division))
        for body in out:
            f.write(b"MTrk" + struct.pack(">I", len(body)) + body)
