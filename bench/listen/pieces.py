"""The generated pieces of the listening comparison, each short and aimed at
one thing to listen for. Every function returns (seconds, message) pairs."""


def cc(ch, n, v):
    return bytes([0xB0 | ch, n, v])


def note(events, t, dur, ch, key, vel):
    events.append((t, bytes([0x90 | ch, key, vel])))
    events.append((t + dur, bytes([0x80 | ch, key, 0])))


def gs(address, value):
    """A GS parameter change (block 40 01 xx) with its checksum."""
    body = [0x40, 0x01, address, value]
    return bytes([0xF0, 0x41, 0x10, 0x42, 0x12] + body + [(128 - sum(body) % 128) % 128, 0xF7])


GS_RESET = bytes([0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7])


def band():
    """Eight bars of a small GM band at 120 bpm: piano chords under the
    sustain pedal, a string pad with chorus, fingered bass, a flute melody
    that gets the modulation wheel in its second half, and a drum kit."""
    e = []
    for ch, prog in ((0, 0), (1, 33), (2, 48), (3, 73)):
        e.append((0, bytes([0xC0 | ch, prog])))
    e += [(0, cc(2, 93, 80)), (0, cc(2, 7, 80)), (0, cc(0, 10, 44)), (0, cc(2, 10, 84))]
    chords = [(48, 52, 55, 60), (45, 48, 52, 57), (41, 45, 48, 53), (43, 47, 50, 55)] * 2
    melody = [72, 74, 76, 79, 77, 76, 74, 72, 69, 71, 72, 74, 76, 74, 72, 71]
    for bar, chord in enumerate(chords):
        t = bar * 2.0
        e.append((t, cc(0, 64, 127)))
        for k in chord:
            note(e, t, 0.9, 0, k, 80)
            note(e, t + 1.0, 0.9, 0, k + 12 if k < 50 else k, 64)
        e.append((t + 1.95, cc(0, 64, 0)))
        note(e, t, 1.95, 2, chord[1] + 12, 70)
        note(e, t, 1.95, 2, chord[3] + 12, 70)
        for q in range(4):
            note(e, t + q * 0.5, 0.45, 1, chord[0] - 12 + (7 if q == 2 else 0), 100)
            note(e, t + q * 0.5, 0.1, 9, 36 if q % 2 == 0 else 38, 110 if q % 2 == 0 else 96)
            note(e, t + q * 0.5, 0.1, 9, 42, 70)
            note(e, t + q * 0.5 + 0.25, 0.1, 9, 42 if q < 3 else 46, 50)
        note(e, t, 0.95, 3, melody[2 * (bar % 8)], 90)
        note(e, t + 1.0, 0.95, 3, melody[2 * (bar % 8) + 1], 90)
        if bar == 4:
            e.append((t, cc(3, 1, 90)))
    note(e, 16.0, 2.0, 0, 48, 90)
    note(e, 16.0, 2.0, 0, 60, 90)
    note(e, 16.0, 0.1, 9, 49, 110)
    return e


def effects():
    """A snare hit and a staccato piano chord through each GS reverb program
    (reverb send full, chorus off), then a held string note through each GS
    chorus program (chorus send full, reverb off)."""
    e = [(0, GS_RESET), (0.2, bytes([0xC0, 0])), (0.2, bytes([0xC1, 48])),
         (0.2, cc(0, 91, 127)), (0.2, cc(0, 93, 0)), (0.2, cc(9, 91, 127)), (0.2, cc(9, 93, 0)),
         (0.2, cc(1, 91, 0)), (0.2, cc(1, 93, 127))]
    t = 0.5
    for program in (0, 2, 4, 5, 6, 7):  # Room 1, Room 3, Hall 2, Plate, Delay, Panning Delay
        e.append((t - 0.1, gs(0x30, program)))
        note(e, t, 0.1, 9, 38, 110)
        for k in (60, 64, 67):
            note(e, t + 1.0, 0.15, 0, k, 100)
        t += 4.0
    for program in (0, 2, 3, 5):  # Chorus 1, Chorus 3, Chorus 4, Flanger
        e.append((t - 0.1, gs(0x38, program)))
        note(e, t, 2.0, 1, 57, 100)
        t += 3.0
    return e


def controllers():
    """What the GM2 sound controllers and portamento do to a saw lead held
    note by note: brightness swept down and up (CC 74), resonance (CC 71),
    a slow attack and long release (CC 73, 72), vibrato depth, rate and delay
    (CC 77, 76, 78), then a portamento line (CC 65, 5) and mono legato
    (CC 126)."""
    e = [(0, GS_RESET), (0.2, bytes([0xC0, 81])), (0.2, cc(0, 91, 20))]
    note(e, 0.5, 4.0, 0, 57, 100)
    for i in range(33):
        v = max(0, 127 - i * 8) if i < 16 else min(127, (i - 16) * 8)
        e.append((0.5 + i * 0.12, cc(0, 74, v)))
    e.append((5.0, cc(0, 71, 127)))
    note(e, 5.0, 1.5, 0, 57, 100)
    e.append((6.6, cc(0, 71, 64)))
    e += [(7.0, cc(0, 73, 110)), (7.0, cc(0, 72, 110))]
    note(e, 7.0, 1.5, 0, 60, 100)
    e += [(10.0, cc(0, 73, 64)), (10.0, cc(0, 72, 64))]
    e += [(10.0, cc(0, 77, 127)), (10.0, cc(0, 76, 100)), (10.0, cc(0, 78, 90))]
    note(e, 10.0, 2.5, 0, 64, 100)
    e += [(12.6, cc(0, 77, 64)), (12.6, cc(0, 76, 64)), (12.6, cc(0, 78, 64))]
    e += [(13.0, cc(0, 65, 127)), (13.0, cc(0, 5, 60))]
    for i, k in enumerate((57, 64, 69, 60, 72, 57)):
        note(e, 13.0 + i * 0.5, 0.48, 0, k, 100)
    e += [(16.0, cc(0, 65, 0)), (16.0, cc(0, 126, 1))]
    for i, k in enumerate((57, 60, 64, 67, 72)):
        note(e, 16.2 + i * 0.4, 0.6, 0, k, 100)
    e.append((19.0, cc(0, 127, 0)))
    return e


def saturation():
    """Fast arpeggios of long piano notes on three channels: more notes than
    the voice limit, so voices are stolen all the time (listen for clicks)."""
    e = []
    for ch, prog in ((0, 0), (1, 0), (2, 46)):
        e.append((0, bytes([0xC0 | ch, prog])))
    t = 0.0
    i = 0
    while t < 8.0:
        for ch in range(3):
            key = 36 + (i * 7 + ch * 11) % 60
            note(e, t, 1.5, ch, key, 70 + (i * 13) % 50)
        t += 0.03
        i += 1
    return e


PIECES = {
    "band": (band, "balance of a small GM band, pedal, drum attacks, string chorus, vibrato by the wheel"),
    "effects": (effects, "reverb tails per GS program (Room 1, Room 3, Hall 2, Plate, Delay, Panning Delay), chorus programs"),
    "controllers": (controllers, "GM2 sound controllers: cutoff sweep, resonance, attack/release, vibrato, portamento, mono"),
    "saturation": (saturation, "voice stealing at the voice limit (64 voices): listen for clicks"),
}
