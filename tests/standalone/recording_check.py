#!/usr/bin/env python3
"""Checks a recording of Batto's four outputs (16-bit WAV from jack_rec).

  recording_check.py REC.wav clicks-and-grid BEAT_FRAMES
      The metronome sounds on outputs 3 and 4 only, a click on every beat; the drums sound
      on outputs 1 and 2, a hit starting on each click's beat and on the eighth between.
  recording_check.py REC.wav answers BEAT_FRAMES LEAST
      As clicks-and-grid, and besides at least LEAST drum hits off the grid of half
      subdivisions: the player's notes answered at once, on the frames they arrived on.
  recording_check.py REC.wav sounding
      The drums sound on outputs 1 and 2.
  recording_check.py REC.wav silent
      Nothing sounds on any output.

Onsets are read off the samples: a click starts on the first sample after silence, a drum
hit where the sound jumps. A JACK cycle that the server skips under load (an xrun) moves
everything after it by one period (JACK_PERIOD frames, default 64); intervals may be off by
whole periods then (several in a row on a busy machine), but most must be exact.
"""
import array
import sys
import wave

import os

# The JACK period: a skipped cycle moves what follows by this many frames.
PERIOD = int(os.environ.get("JACK_PERIOD", "64"))


def read(path):
    with wave.open(path) as recording:
        frames = recording.getnframes()
        channels = recording.getnchannels()
        assert recording.getsampwidth() == 2, "16-bit recordings only"
        samples = array.array("h", recording.readframes(frames))
    return [samples[c::channels] for c in range(channels)]


def starts_after_silence(channel, silence=200):
    """The frames where sound starts after at least `silence` silent frames. The silence a
    recording opens with does not count: the recorder writes it before the first cycle it
    hears, so what sounds after it may be the middle of a click begun before the recording."""
    onsets, zeros, heard = [], 0, False
    for index, value in enumerate(channel):
        if value == 0:
            zeros += 1
        else:
            if zeros >= silence and heard:
                onsets.append(index)
            zeros, heard = 0, True
    return onsets


# A drum hit: over 64 frames the sound changes more than three times as fast as over the 64
# before (the recorded kit's attacks rise within a millisecond or two; the tails of drums and
# the ringing of cymbals do not), and by more than a quiet closed hi-hat's ten levels a frame.
# The change is the sum of the differences between neighbouring samples. A hit starts on its
# frame, and its attack shows within the window that begins up to `slack` frames later.
WINDOW = 64


def changes(channel):
    return [0] + [abs(b - a) for a, b in zip(channel, channel[1:])]


def energy(channel, start, length=WINDOW):
    moves = changes(channel[max(0, start - 1):max(0, start + length)])[1:]
    return sum(moves)


def is_attack(now, before):
    return now > 3 * before + 10 * WINDOW


# How long before a beat a hit that answers a note may hide the beat's attack: the loudest
# hits ring that long well above a closed hi-hat's attack.
MASKING = 3000


def jumps_near(channel, position, slack=16):
    """A drum hit starts at `position`: its attack shows from two frames before it up to
    `slack` frames after it (a period late, or early, is far outside)."""
    return any(is_attack(energy(channel, p), energy(channel, p - WINDOW))
               for p in range(position - 2, position + slack))


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def clicks_and_grid(outputs, beat):
    if len(outputs) != 4:
        fail("expected four outputs, found %d" % len(outputs))
    if outputs[2] != outputs[3]:
        fail("outputs 3 and 4 differ")
    clicks = starts_after_silence(outputs[2])
    print("clicks at", clicks)
    if len(clicks) < 3:
        fail("fewer than three clicks on output 3")
    intervals = [b - a for a, b in zip(clicks, clicks[1:])]
    exact = sum(1 for i in intervals if i == beat)
    # A machine busy with other work may skip several cycles in a row; a click missing or
    # doubled moves an interval by half a beat or more.
    if any((i - beat) % PERIOD != 0 or abs(i - beat) >= beat // 2 for i in intervals):
        fail("clicks off the beat: intervals %s" % intervals)
    if exact * 2 < len(intervals):
        fail("too few clicks exactly a beat apart: intervals %s" % intervals)

    # The clicks sit on the drums' hits of the beats (a click's first sample is silent), on
    # outputs 1 and 2 alike. A hit that answers a note shortly before a beat (a snare still
    # ringing loud) can hide the beat's attack: such a beat is excused, since where the notes
    # fall against the beats depends on when the drummer was started. Most of the others
    # must show their attack.
    hidden = []
    missing = []
    answered = drum_onsets(outputs[0])
    for click in clicks:
        beat_frame = click - 1
        if jumps_near(outputs[0], beat_frame) and jumps_near(outputs[1], beat_frame):
            continue
        if any(beat_frame - MASKING <= onset < beat_frame - 2 for onset in answered):
            hidden.append(beat_frame)
        else:
            missing.append(beat_frame)
    if hidden:
        print("beats hidden by a hit just before them at", hidden)
    if len(missing) * 4 > len(clicks) - len(hidden):
        fail("no drum hit at %s" % missing)
    print("clicks every %d frames on outputs 3 and 4, drums on the grid on outputs 1 and 2" % beat)
    return clicks


def drum_onsets(channel):
    """Every frame where a drum hit starts (at most one per 1000 frames)."""
    sums = [0]
    for move in changes(channel):
        sums.append(sums[-1] + move)
    onsets, last = [], -10**9
    for p in range(WINDOW, len(channel) - WINDOW):
        if is_attack(sums[p + WINDOW] - sums[p], sums[p] - sums[p - WINDOW]) and p - last > 1000:
            onsets.append(p)
            last = p
    return onsets


def answers(outputs, beat, least):
    """The player's notes were answered at once: drum hits off the grid of half subdivisions."""
    clicks = clicks_and_grid(outputs, beat)
    grid = beat // 4  # a half subdivision with two subdivisions a beat
    anchor = clicks[0] - 1
    off_grid = [p for p in drum_onsets(outputs[0]) if min((p - anchor) % grid, grid - (p - anchor) % grid) > 64]
    print("hits off the grid at", off_grid)
    if len(off_grid) < least:
        fail("fewer than %d answers off the grid" % least)
    print("%d hits answer the player's notes at once" % len(off_grid))


def sounding(outputs):
    peaks = [max(abs(v) for v in channel) for channel in outputs[:2]]
    if min(peaks) < 1000:
        fail("the drums are silent: peaks %s" % peaks)
    print("the drums sound")


def silent(outputs):
    loudest = max(max(abs(v) for v in channel) for channel in outputs)
    if loudest != 0:
        fail("not silent: peak %d" % loudest)
    print("silent")


def main():
    outputs = read(sys.argv[1])
    if sys.argv[2] == "clicks-and-grid":
        clicks_and_grid(outputs, int(sys.argv[3]))
    elif sys.argv[2] == "answers":
        answers(outputs, int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[2] == "sounding":
        sounding(outputs)
    elif sys.argv[2] == "silent":
        silent(outputs)
    else:
        fail("unknown check " + sys.argv[2])


if __name__ == "__main__":
    main()
