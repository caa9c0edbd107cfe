#!/usr/bin/env bash
# Checks the convert command's output with independent tools: mido parses
# every MIDI file (no bank select, the bank's pitch-bend range after each
# program change), fluidsynth renders every sequence with its SoundFont
# (no warning, not silent, about the expected length; envelopes against the
# sound chip's stepping; clipped and bent pitches), and ffmpeg decodes every
# sample's ADPCM to the PCM of our WAV (within the rounding of its filter
# term). Inputs: the generator's convert set and the real bank in
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
(cd "$work" && "$psxdig" convert song.seq reversed.seq tone.vab --bank tone.vab -o out >/dev/null &&
  "$psxdig" convert multi.sep split.vh --bank split.vh -o out >/dev/null &&
  "$psxdig" convert env_*.seq env.vab --bank env.vab -o out --no-wav >/dev/null &&
  "$psxdig" convert bend_0.seq bend_12.seq bend.vab --bank bend.vab -o out --no-wav >/dev/null &&
  "$psxdig" convert clip.seq --bank "$fixtures/square.VAB" -o out >/dev/null)
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

def render(sf2, mid, name, dry=False):
    wav = os.path.join(work, name + "_render.wav")
    r = subprocess.run(["fluidsynth", "-ni"] + (["-R", "0", "-C", "0"] if dry else []) +
                       ["-F", wav, "-r", "44100", sf2, mid], capture_output=True, text=True)
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

# No bank select reaches a MIDI file; with the bank given, every program
# change is followed by RPN 0 = the program's bend range and the null RPN.
for name in sorted(os.listdir(out)):
    if not name.endswith(".mid"):
        continue
    track = mido.MidiFile(os.path.join(out, name)).tracks[0]
    if any(x.type == "control_change" and x.control in (0, 32) for x in track):
        fail(f"{name}: bank select in the MIDI")
    for k, x in enumerate(track):
        if x.type != "program_change":
            continue
        rpn = [(y.control, y.value) for y in track[k + 1:k + 7] if y.type == "control_change" and y.channel == x.channel]
        if len(rpn) != 6 or rpn[:2] != [(101, 0), (100, 0)] or rpn[3:] != [(38, 0), (101, 127), (100, 127)]:
            fail(f"{name}: program change {x} without its bend range: {rpn}")
print("no bank select in the MIDI files; a bend range after every program change")

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

# Envelopes: one held note per tone of env.vab, rendered dry, against the
# sound chip's envelope stepped tick by tick (attack, decay, sustain until
# key off, release), in 10 ms RMS windows relative to the full-scale tone.
def chip_levels(adsr1, adsr2, key_off, ticks):
    sl = adsr1 & 0xF
    phases = {"attack": (True, bool(adsr1 & 0x8000), (adsr1 >> 10) & 0x1F, (adsr1 >> 8) & 3),
              "decay": (False, True, (adsr1 >> 4) & 0xF, 0),
              "sustain": (not adsr2 & 0x4000, bool(adsr2 & 0x8000), (adsr2 >> 8) & 0x1F, (adsr2 >> 6) & 3),
              "release": (False, bool(adsr2 & 0x20), adsr2 & 0x1F, 0)}
    def step_wait(phase, level):
        inc, exp, sh, st = phases[phase]
        step = ((7 - st) if inc else -(8 - st)) << max(0, 11 - sh)
        wait = 1 << max(0, sh - 11)
        if exp and inc and level > 0x6000: wait *= 4
        if exp and not inc: step = (step * level) >> 15
        return step, wait
    def holds(phase):
        inc, exp, sh, st = phases[phase]
        return phase in ("attack", "sustain") and (sh << 2 | st) == 0x7F
    level, phase = 0, "attack"
    step, count = step_wait(phase, level)
    levels = []
    for tick in range(ticks):
        levels.append(level)
        if tick == key_off and phase != "off":
            phase = "release"
            step, count = step_wait(phase, level)
        if phase == "off" or holds(phase):
            continue
        count -= 1
        if count > 0:
            continue
        level = min(0x7FFF, max(0, level + step))
        if phase == "attack" and level == 0x7FFF: phase = "decay"
        if phase == "decay" and (level >> 11) <= sl: phase = "sustain"
        if phase == "release" and level == 0: phase = "off"
        if phase != "off": step, count = step_wait(phase, level)
    return levels

def window_db(values, scale=1.0, win=441):
    out = []
    for at in range(0, len(values) - win, win):
        rms = math.sqrt(sum(v * v for v in values[at:at + win]) / win) * scale
        out.append(20 * math.log10(rms) if rms > 0 else -200.0)
    return out

def first_zone_attenuation(path):
    """initialAttenuation (cB) of every instrument's first zone."""
    data = open(path, "rb").read()
    def chunk(name):
        at = data.index(name.encode(), 12)
        return data[at + 8:at + 8 + struct.unpack_from("<I", data, at + 4)[0]]
    inst, ibag, igen = chunk("inst"), chunk("ibag"), chunk("igen")
    result = []
    for i in range(len(inst) // 22 - 1):
        bag = struct.unpack_from("<H", inst, 22 * i + 20)[0]
        gens = range(*struct.unpack_from("<H", ibag, 4 * bag), *struct.unpack_from("<H", ibag, 4 * bag + 4))
        found = [struct.unpack_from("<Hh", igen, 4 * g) for g in range(gens.start, gens.stop)]
        result.append(next((v for op, v in found if op == 48), 0))
    return result

env_sf2 = os.path.join(out, "env.sf2")
attenuation = first_zone_attenuation(env_sf2)
full_db = None
for k, line in enumerate(open(os.path.join(work, "env.txt"))):
    seq, a1, a2, held = line.split()
    adsr1, adsr2, held_w = int(a1, 16), int(a2, 16), int(float(held) * 100)
    result = render(env_sf2, os.path.join(out, seq.replace(".seq", ".mid")), seq, dry=True)
    if not result:
        continue
    got = window_db(result[0][0::result[1]])
    want = window_db(chip_levels(adsr1, adsr2, held_w * 441, len(got) * 441 + 441), 1 / 32767)
    if full_db is None:  # program 0 holds full scale
        full_db = sorted(got[20:held_w - 10])[(held_w - 30) // 2]
    # fluidsynth plays initialAttenuation at 0.4 of its value.
    got = [g - full_db - 0.6 * attenuation[k] / 10 for g in got]
    dev = lambda ws: max((abs(got[w] - want[w]) for w in ws), default=0.0)
    held20 = dev([w for w in range(1, held_w) if want[w] >= -20])
    held40 = max((abs(max(got[w], -40) - max(want[w], -40)) for w in range(1, held_w)), default=0.0)
    start = want[held_w - 1]
    rel = [w for w in range(held_w, len(want)) if start > -40]
    rel20 = dev([w for w in rel if want[w] >= start - 20])
    rel40 = dev([w for w in rel if want[w] >= -40])
    down20 = lambda curve: next(((w - held_w) / 100 for w in rel if curve[w] <= start - 20), None)
    t_chip, t_sf2 = down20(want), down20(got)
    print(f"{seq} ADSR {a1} {a2}: held 2 s within {held20:.2f} dB down to -20 dB ({held40:.2f} to -40 dB);"
          f" release from {start:.1f} dB within {rel20:.2f} dB over 20 dB ({rel40:.2f} to -40 dB),"
          f" 20 dB down after {t_chip} s (chip) / {t_sf2} s (render)")
    # What a line in dB can follow: the held note's audible range; a release
    # from full scale over its first 20 dB (exponential) or at its -20 dB
    # point (linear: a straight line in amplitude). Below that the chip falls
    # faster than any SoundFont ramp (printed above, not asserted).
    if held20 > 3:
        fail(f"{seq}: held note off by {held20:.2f} dB")
    if start > -3 and t_chip and t_chip > 0.05:
        if adsr2 & 0x20 and rel20 > 3:
            fail(f"{seq}: exponential release off by {rel20:.2f} dB")
        if not t_sf2 or abs(t_sf2 - t_chip) > 0.1 * t_chip:
            fail(f"{seq}: release 20 dB down after {t_sf2} s, the chip's after {t_chip} s")

# Pitch: a bend on a tone with range 0 changes nothing, with range 12 it
# goes an octave up (fluidsynth scales RPN 0 by 127/128); key 94 on the
# square bank (centre 64) sounds at the chip's limit, 4 x the centre's pitch.
def hz(frames, start, length):
    x = frames[int(start * 44100):int((start + length) * 44100)]
    ups = [k + x[k - 1] / (x[k - 1] - x[k]) for k in range(1, len(x)) if x[k - 1] < 0 <= x[k]]
    return (len(ups) - 1) * 44100 / (ups[-1] - ups[0]) if len(ups) > 2 else 0.0

pitches = {}
for mid, sf2, at in (("bend_0", "bend", (0.2, 0.6)), ("bend_12", "bend", (0.2, 0.6)), ("clip", "square", (0.005, 0.505))):
    folder = os.path.join(work, "square_vab") if sf2 == "square" else out
    result = render(os.path.join(folder, sf2 + ".sf2"), os.path.join(out, mid + ".mid"), mid, dry=True)
    if result:
        pitches[mid] = [hz(result[0][0::result[1]], a, 0.02 if mid == "clip" else 0.2) for a in at]
for mid, want_ratio, label in (("bend_0", 1.0, "unbent"), ("bend_12", 2.0, "an octave up"),
                               ("clip", 0x3FFF / 0x1000, "clipped at 0x3FFF")):
    before, after = pitches.get(mid, (0.0, 0.0))
    ratio = after / before if before else 0.0
    print(f"{mid}: {before:.1f} Hz, then {after:.1f} Hz: x {ratio:.4f} (want {label}: x {want_ratio:.4f};"
          f" unclipped key 94 would be x {2 ** (30 / 12):.4f})" if mid == "clip" else
          f"{mid}: {before:.1f} Hz, then {after:.1f} Hz: x {ratio:.4f} (want {label}: x {want_ratio:.4f})")
    if abs(ratio - want_ratio) > 0.01 * want_ratio:
        fail(f"{mid}: pitch ratio {ratio:.4f}, want {want_ratio:.4f}")

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
