#!/usr/bin/env bash
# Checks the convert command's output with independent tools: mido parses
# every MIDI file, fluidsynth renders every sequence with its SoundFont
# (no warning, not silent, about the expected length), and ffmpeg decodes
# every sample's ADPCM to the PCM of our WAV (within the rounding of its
# filter term). Inputs: the generator's convert set and the real bank in
# ../shared/fixtures (as a .VAB and as .VH + .VB, which must give the same
# SoundFont). Last, the note onsets of psxdig render against fluidsynth playing
# our own MIDI and SoundFont of the same notes (within 10 ms).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure_tools.sh --no-recommends fluidsynth:fluidsynth ffmpeg:ffmpeg \
  /usr/lib/python3/dist-packages/mido/__init__.py:python3-mido

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPSXDIG_WERROR=ON >/dev/null
cmake --build build-test -j "$(nproc 2>/dev/null || echo 2)" --target psxdig psxdig_mkimage >/dev/null
psxdig=$PWD/build-test/psxdig
fixtures=$PWD/../shared/fixtures

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build-test/psxdig_mkimage convert-set "$work"
(cd "$work" && "$psxdig" convert song.seq reversed.seq multi.sep tone.vab split.vh -o out >/dev/null)
"$psxdig" convert "$fixtures/square.VAB" -o "$work/square_vab" >/dev/null
"$psxdig" convert "$fixtures/square.VH" -o "$work/square_vh" >/dev/null
cmp "$work/square_vab/square.sf2" "$work/square_vh/square.sf2"
echo "square.VAB and square.VH + square.VB give the same SoundFont"

/usr/bin/python3 - "$work" "$fixtures" <<'PY'
import array, math, os, struct, subprocess, sys, wave
import mido

work, fixtures = sys.argv[1], sys.argv[2]
out = os.path.join(work, "out")
failures = 0

def fail(text):
    global failures
    failures += 1
    print("FAIL:", text)

def render(sf2, mid, name):
    wav = os.path.join(work, name + "_render.wav")
    r = subprocess.run(["fluidsynth", "-ni", "-F", wav, "-r", "44100", sf2, mid],
                       capture_output=True, text=True)
    noise = [l for l in (r.stdout + r.stderr).splitlines()
             if any(w in l.lower() for w in ("warning", "error", "no preset", "invalid"))]
    if r.returncode != 0 or noise:
        fail(f"fluidsynth {name}: exit {r.returncode} {noise}")
        return None
    with wave.open(wav) as w:
        frames = array.array("h", w.readframes(w.getnframes()))
        return frames, w.getnchannels(), w.getframerate()

def audible_span(frames, channels, rate, seconds, floor=100):
    """RMS over the sequence's length, the share of its 10 ms windows above
    the floor, and the end of the render's last window above it."""
    win = rate // 100 * channels
    span = int(seconds * rate) * channels
    rms = lambda chunk: math.sqrt(sum(v * v for v in chunk) / max(1, len(chunk)))
    windows = [rms(frames[at:at + win]) for at in range(0, len(frames), win)]
    inside = windows[:max(1, span // win)]
    last = max(((k + 1) * win / channels / rate for k, v in enumerate(windows) if v > floor), default=0.0)
    return rms(frames[:span]), sum(v > floor for v in inside) / len(inside), last

# MIDI structure and renders of the generated pairs.
for line in open(os.path.join(work, "expect.txt")):
    mid, sf2, fmt, tracks, division, tempo, notes, seconds = line.split()
    path = os.path.join(out, mid)
    m = mido.MidiFile(path)
    got = (m.type, len(m.tracks), m.ticks_per_beat,
           next(x.tempo for x in m.tracks[0] if x.type == "set_tempo"),
           sum(1 for x in m.tracks[0] if x.type == "note_on" and x.velocity > 0))
    want = (int(fmt), int(tracks), int(division), int(tempo), int(notes))
    if got != want or abs(m.length - float(seconds)) > 0.01:
        fail(f"{mid}: mido reads {got} length {m.length:.3f}, planted {want} length {seconds}")
    result = render(os.path.join(out, sf2), path, mid)
    if result:
        total, share, last = audible_span(*result, float(seconds))
        ok = total > 200 and share >= 0.9 and float(seconds) - 0.05 <= last <= float(seconds) + 6.0
        print(f"{mid} + {sf2}: mido {got} length {m.length:.3f}; render RMS {total:.0f},"
              f" {share:.0%} of it audible, audible to {last:.2f}s (sequence {float(seconds):.2f}s)"
              f" {'ok' if ok else 'BAD'}")
        if not ok:
            fail(f"{mid}: render RMS {total:.0f}, {share:.0%} audible, audible to {last:.2f}s")

# Pitch: the first note of multi_0 (key 60) plays the 525 Hz sine of a tone
# whose centre note is 69, so it must sound at 525 x 2^(-9/12) = 312.2 Hz.
result = render(os.path.join(out, "split.sf2"), os.path.join(out, "multi_0.mid"), "pitch")
if result:
    frames, channels, rate = result
    left = frames[0::channels][int(0.05 * rate):int(0.2 * rate)]
    ups = [k for k in range(1, len(left)) if left[k - 1] < 0 <= left[k]]
    hz = (len(ups) - 1) * rate / (ups[-1] - ups[0]) if len(ups) > 2 else 0
    print(f"multi_0.mid first note: {hz:.1f} Hz (want 312.2)")
    if abs(hz - 312.2) > 312.2 * 0.01:
        fail(f"first note of multi_0.mid sounds at {hz:.1f} Hz, not 312.2")

# The real bank renders too.
result = render(os.path.join(work, "square_vab", "square.sf2"), os.path.join(out, "multi_0.mid"), "square")
if result:
    total, share, last = audible_span(*result, 0.65)
    print(f"multi_0.mid + square.sf2: render RMS {total:.0f}, {share:.0%} audible, audible to {last:.2f}s")
    # The bank's one sample is a 0.11 s one-shot: each 0.25 s note sounds for part of its time.
    if total <= 200 or share < 0.3:
        fail("square.sf2 renders silent")

# Our WAVs against ffmpeg's decode of the same ADPCM in a VAGp wrapper.
def samples_of(header, body):
    programs = struct.unpack_from("<H", header, 0x12)[0]
    count = struct.unpack_from("<H", header, 0x16)[0]
    table = 0x820 + 0x200 * programs
    at = 0
    for k in range(1, count + 1):
        size = 8 * struct.unpack_from("<H", header, table + 2 * k)[0]
        yield k, body[at:at + size]
        at += size

def split_vab(path):
    data = open(path, "rb").read()
    size = 0xA20 + 0x200 * struct.unpack_from("<H", data, 0x12)[0]
    return data[:size], data[size:]

banks = [("tone", *split_vab(os.path.join(work, "tone.vab")), out),
         ("split", open(os.path.join(work, "split.vh"), "rb").read(),
          open(os.path.join(work, "split.vb"), "rb").read(), out),
         ("square", *split_vab(os.path.join(fixtures, "square.VAB")), os.path.join(work, "square_vab"))]
worst = 0
for name, header, body, folder in banks:
    for k, adpcm in samples_of(header, body):
        vag = os.path.join(work, f"{name}_{k}.vag")
        with open(vag, "wb") as f:
            f.write(b"VAGp" + struct.pack(">III", 0x20, 0, len(adpcm)) + struct.pack(">I", 44100)
                    + bytes(12) + name.encode().ljust(16, b"\0") + adpcm)
        raw = subprocess.run(["ffmpeg", "-v", "error", "-i", vag, "-f", "s16le", "-c:a", "pcm_s16le", "-"],
                             capture_output=True, check=True).stdout
        ref = array.array("h", raw)
        with wave.open(os.path.join(folder, f"{name}_{k}.wav")) as w:
            ours = array.array("h", w.readframes(w.getnframes()))
        # ffmpeg outputs silence for a block whose flags are 07: leave those out.
        n = min(len(ours), len(ref))
        skip = {j for b in range(n // 28) if adpcm[16 * b + 1] == 7 for j in range(28 * b, 28 * b + 28)}
        diff = max((abs(ours[j] - ref[j]) for j in range(n) if j not in skip), default=0)
        worst = max(worst, diff)
        ok = n > 0 and diff <= 64
        print(f"{name}_{k}.wav: {len(ours)} points, ffmpeg {len(ref)}; largest difference {diff} {'ok' if ok else 'BAD'}")
        if not ok:
            fail(f"{name}_{k}.wav differs from ffmpeg by {diff} over {n} points")

print(f"largest WAV difference from ffmpeg: {worst}")
sys.exit(1 if failures else 0)
PY

# The sequencer of psxdig render against fluidsynth: the same note onsets
# (within 10 ms) for a sequence of notes and rests played with the split bank.
/usr/bin/python3 - "$psxdig" "$work" "$work/split.vh" <<'PY'
# Note onsets of psxdig render against fluidsynth playing our own MIDI and
# SoundFont of the same sequence: notes with rests between them, so that an
# onset is where the sound rises out of silence.
import array, os, struct, subprocess, sys, wave

psxdig, work, bank = sys.argv[1], sys.argv[2], sys.argv[3]
events = bytearray([0x00, 0xC0, 0x00])
for k, key in enumerate([60, 64, 67, 72, 62, 69]):
    events += bytes([0x00 if k == 0 else 0x83, 0x60 if k else 0x00][: 1 if k == 0 else 2])  # rest of 480 ticks
    events += bytes([0x90, key, 100, 0x83, 0x60, key, 0])  # note of 480 ticks
events += bytes([0x00, 0xFF, 0x2F, 0x00])
seq = b"pQES" + struct.pack(">IH", 1, 480) + (400000).to_bytes(3, "big") + bytes([4, 2]) + events
path = os.path.join(work, "onsets.seq")
open(path, "wb").write(seq)
out = os.path.join(work, "onsets_out")
subprocess.run([psxdig, "convert", path, bank, "-o", out, "--no-wav"], check=True, capture_output=True)
subprocess.run([psxdig, "render", "-q", path, bank, "-o", out], check=True, capture_output=True)
sf2 = os.path.join(out, os.path.splitext(os.path.basename(bank))[0] + ".sf2")
ref = os.path.join(out, "onsets_fluidsynth.wav")
subprocess.run(["fluidsynth", "-ni", "-R", "0", "-C", "0", "-F", ref, "-r", "44100", sf2,
                os.path.join(out, "onsets.mid")], check=True, capture_output=True)

def onsets(wav_path):
    with wave.open(wav_path) as w:
        frames = array.array("h", w.readframes(w.getnframes()))[0::w.getnchannels()]
    hop = 44  # 1 ms
    level = [max(abs(v) for v in frames[at:at + hop]) for at in range(0, len(frames) - hop, hop)]
    peak = max(level)
    found, quiet = [], True
    for k, v in enumerate(level):
        if quiet and v > 0.1 * peak:
            found.append(k)  # ms
            quiet = False
        elif not quiet and all(x < 0.02 * peak for x in level[k:k + 20]):
            quiet = True
    return found

ours, theirs = onsets(os.path.join(out, "onsets.wav")), onsets(ref)
worst = max((abs(a - b) for a, b in zip(ours, theirs)), default=999)
print(f"note onsets (ms): render {ours}, fluidsynth {theirs}; largest difference {worst} ms")
sys.exit(0 if len(ours) == 6 and len(theirs) == 6 and worst <= 10 else 1)
PY
echo "convert checks passed"
