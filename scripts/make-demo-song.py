#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Writes demo/demo.dat, the demo song: A minor at 112 bpm on TimGM6mb.

Sessions (two bars each): 1 the full groove with drums, bass, chords and a melody (what
Space plays first), 2 drums and bass, 3 a break with pad and melody over a lighter beat.
Song: 2 1 1 3 1.
Run from the repository: python3 scripts/make-demo-song.py > demo/demo.dat
"""

KICK, SNARE, CLOSED_HAT, OPEN_HAT, CRASH = 36, 38, 42, 46, 49

# Track: (name, bank, program, volume, pan, reverb on)
TRACKS = [
    ("Standard_Drums", 128, 0, 110, 64, 0),
    ("Fingered_Bass", 0, 33, 105, 60, 0),
    ("Electric_Piano", 0, 4, 85, 50, 1),
    ("Square_Lead", 0, 80, 70, 78, 1),
    ("Warm_Pad", 0, 89, 75, 64, 1),
]
EXT_REVERB = "60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0.375 6"
EXT_EQ = "1 0 0 0 0 0 0 0 0 0 0"

# Chords per half bar over the 32 steps: Am F C G.
CHORDS = [(57, 60, 64), (53, 57, 60), (55, 60, 64), (55, 59, 62)]
ROOTS = [33, 29, 36, 31]  # bass roots an octave and more below


def drums(light=False):
    notes = []
    for step in range(32):
        if step % 8 == 0 or (not light and step % 16 == 10):
            notes.append((step, KICK, 0, 112, 1, 0))
        if step % 8 == 4:
            notes.append((step, SNARE, 0, 100 if not light else 80, 1, 0))
        if step % 2 == 0:
            notes.append((step, CLOSED_HAT, 0, 70 if step % 4 == 0 else 52, 1, 0))
        elif not light and step % 8 == 7:
            notes.append((step, OPEN_HAT, 0, 60, 1, 0))
    if not light:
        notes.append((0, CRASH, 0, 90, 1, 0))
    return notes


def bass():
    notes = []
    for part, root in enumerate(ROOTS):
        base = part * 8
        for offset, interval, vel in ((0, 0, 110), (3, 12, 90), (4, 0, 100), (6, 7, 95)):
            notes.append((base + offset, root + interval, 0, vel, 1, 32))
    return notes


def chords():
    notes = []
    for part, chord in enumerate(CHORDS):
        for hit in (0, 3):
            for pitch in chord:
                notes.append((part * 8 + hit, pitch, 0, 78, 2 if hit == 0 else 4, 0))
    return notes


def pad():
    return [(part * 8, pitch, 0, 70, 8, 0) for part, chord in enumerate(CHORDS) for pitch in chord]


def melody():
    # (step, pitch, gate) over the chords Am F C G
    line = [(0, 76, 2), (2, 74, 1), (3, 72, 2), (6, 69, 2), (8, 72, 3), (11, 69, 1), (12, 65, 4),
            (16, 67, 2), (18, 72, 2), (20, 76, 3), (24, 74, 2), (26, 71, 2), (28, 67, 4)]
    return [(step, pitch, 0, 96, gate, 0) for step, pitch, gate in line]


SESSIONS = {
    0: {0: drums(), 1: bass(), 2: chords(), 3: melody()},
    1: {0: drums(), 1: bass()},
    2: {0: drums(light=True), 4: pad(), 3: melody()},
}


def main():
    out = []
    out.append("p 9 112 1 1 2 9 ")  # version, bpm, quantisations, A minor
    song = [1, 0, 0, 2, 0]
    out.append("o %d %s" % (len(song), " ".join(str(s) for s in song)))
    for track in range(12):
        name, bank, program, volume, pan, reverb = TRACKS[track] if track < len(TRACKS) else (
            "Acoustic_Grand_Piano", 0, 0, 100, 64, 0)
        channel = track if track < 9 else track + 1
        out.append(" ".join(str(v) for v in (
            "i", track, 100, 0, volume, pan, channel, 0, 64, track,
            reverb, 40, 20, 50, 40,
            0, 3, 20, 3, 8, 0)) + " 0 " + EXT_REVERB + " 0 " + EXT_EQ +
            " 0 %d %d TimGM6mb.sf2 %s" % (bank, program, name))
    for session, tracks in SESSIONS.items():
        out.append("s %d -1 %s" % (session, " ".join("0" for _ in range(12))))
        for track in range(12):
            out.append("t %d 0 31" % track)
            for step, pitch, offset, velocity, gate, fraction in sorted(tracks.get(track, [])):
                out.append("e %d %d %d %d %d %d" % (step, pitch, offset, velocity, gate, fraction))
    print("\n".join(out))


main()
