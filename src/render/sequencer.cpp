// The sound library's sequencer over 24 voices of the sound chip.
#include <algorithm>
#include <cmath>
#include <memory>

#include "render/render.h"

namespace psxdig::render {
namespace {

using convert::SeqEvent;
using convert::SeqEventReader;
using convert::VabProgram;
using convert::VabTone;
using u128 = unsigned __int128;

constexpr int kVoices = 24;
constexpr std::uint32_t kChunk = 4096;
// After the end of track the output runs on until every voice is off, at most this long.
constexpr std::uint64_t kTailTicks = 10 * kRate;
// Events applied may not outrun the music: beyond this many plus two per
// output tick, a stream (a loop whose body takes almost no time) is stopped.
constexpr std::uint64_t kEventAllowance = 1000000;

struct Channel {
  std::uint8_t program = 0;
  std::uint8_t volume = 127;
  std::uint8_t expression = 127;
  std::uint8_t pan = 64;
  std::uint16_t bend = 8192;
  bool damper = false;
};

// What the sequencer knows of a voice it started.
struct VoiceOwner {
  std::uint8_t channel = 0;
  std::uint8_t key = 0;
  std::uint8_t velocity = 0;
  bool held = false;  // its note is off but the damper holds it
  const VabTone* tone = nullptr;
  const VabProgram* program = nullptr;
  std::uint64_t order = 0;  // key-on order
};

struct Loop {
  bool active = false;
  std::uint8_t channel = 0;
  SeqEventReader::Mark resume;
  std::uint64_t passStart = 0;  // output tick at which the current pass began
  bool countKnown = false;
  std::uint8_t count = 0;
  std::uint32_t passes = 0;
};

// floor(num / den * 0x3FFF + 1/2), at most 0x3FFF.
std::int32_t VolumeRegister(u128 num, u128 den) {
  const u128 v = (2 * num * 0x3FFF + den) / (2 * den);
  return v > 0x3FFF ? 0x3FFF : static_cast<std::int32_t>(v);
}

class Sequencer {
 public:
  Sequencer(const convert::Sequence& seq, const PlayableBank& bank, const RenderSettings& settings, bool dry)
      : seq_(seq), bank_(bank), settings_(settings), dry_(dry), reader_(seq.events) {
    tempo_ = seq.tempo;
    fadeTicks_ = static_cast<std::uint64_t>(std::max(0L, std::lround(settings.fadeSeconds * kRate)));
    gain_ = settings.gainDb == 0 ? 1.0 : std::pow(10.0, settings.gainDb / 20.0);
    loops_ = std::max<std::uint32_t>(1, settings.loops);
    streams_.resize(bank.samples.size());
    sharedBlocks_ = settings.sharedBlocks;
  }

  RenderedSong Run() {
    const std::uint64_t estimate = dry_ ? 0 : SequenceTicks(seq_, settings_);
    if (!dry_) song_.pcm.reserve(2 * std::min(estimate + kRate, settings_.maxTicks));
    ReadNext();
    std::uint64_t tick = 0;
    for (;;) {
      ApplyDue(tick);
      const std::uint64_t end = EndAt(tick);
      if (tick >= end) break;
      std::uint64_t to = dry_ ? end : std::min(end, tick + kChunk);
      if (!ended_ && pending_) to = std::min(to, std::max(nextTick_, tick + 1));
      if (!dry_) {
        const std::uint64_t last = RenderChunk(tick, to);
        if (ended_ && !AnyVoiceOn()) {
          to = std::max(last, tick);
          lastOff_ = to;
        }
        Output(tick, to);
        if (settings_.progress) settings_.progress(to, std::max(estimate, to));
      }
      tick = to;
    }
    song_.ticks = tick;
    song_.capped = tick >= settings_.maxTicks && !finished_;
    return std::move(song_);
  }

 private:
  // ---- time and events ----

  void ReadNext() {
    SeqEvent event;
    std::string error;
    const SeqEventReader::Read read = reader_.Next(event, error);
    pending_ = read == SeqEventReader::Read::kEvent;
    if (read == SeqEventReader::Read::kError) {
      Warn(convert::EventFault(seq_, event.offset, error) + "; the sequence ends there");
    } else if (read == SeqEventReader::Read::kEnd) {
      Warn("the sequence has no end of track; it ends after its last event");
    }
    if (!pending_) return;
    next_ = event;
    elapsed_ += u128{event.delta} * tempo_;
    const u128 t = elapsed_ * kRate / (u128{seq_.resolution} * 1000000u);
    // An event past the cap is never reached.
    nextTick_ = t > settings_.maxTicks ? settings_.maxTicks + 1 : static_cast<std::uint64_t>(t);
  }

  void ApplyDue(std::uint64_t tick) {
    while (!ended_ && pending_ && nextTick_ <= tick) {
      if (++eventsApplied_ > kEventAllowance + 2 * tick) {
        Warn("more events than their playing time allows (a loop that takes no time?); the sequence ends there");
        pending_ = false;
        break;
      }
      Apply(next_, tick);
      if (!ended_) ReadNext();
    }
    if (!ended_ && !pending_) End(tick);
  }

  void End(std::uint64_t tick) {
    ended_ = true;
    endTick_ = tick;
  }

  // The tick at which the output ends, as far as known at `tick`.
  std::uint64_t EndAt(std::uint64_t tick) {
    std::uint64_t end = settings_.maxTicks;
    auto finish = [&](std::uint64_t at) {
      if (at <= end) {
        end = at;
        finished_ = true;
      }
    };
    if (fading_) finish(fadeStart_ + fadeTicks_);
    if (ended_) {
      finish(endTick_ + kTailTicks);
      if (dry_ || lastOff_ != kNever) finish(dry_ ? endTick_ : lastOff_);
      if (!dry_ && tick >= endTick_ && !AnyVoiceOn()) finish(tick);
    }
    return end;
  }

  void Apply(const SeqEvent& e, std::uint64_t tick) {
    if (e.IsEndOfTrack()) return End(tick);
    if (e.IsTempo()) {
      tempo_ = e.Tempo();
      return;
    }
    const std::uint8_t c = e.status & 0x0F;
    switch (e.status & 0xF0) {
      case 0x80:
        return NoteOff(c, e.data[0]);
      case 0x90:
        return e.data[1] == 0 ? NoteOff(c, e.data[0]) : NoteOn(c, e.data[0], e.data[1]);
      case 0xB0:
        return Controller(c, e.data[0], e.data[1], tick);
      case 0xC0:
        channels_[c].program = e.data[0];
        return;
      case 0xE0:
        channels_[c].bend = static_cast<std::uint16_t>(e.data[0] | (e.data[1] << 7));
        return ForChannel(c, [&](int v) { UpdatePitch(v); });
      default:
        return;  // key and channel pressure
    }
  }

  void Controller(std::uint8_t c, std::uint8_t cc, std::uint8_t value, std::uint64_t tick) {
    Channel& ch = channels_[c];
    switch (cc) {
      case 6:
        if (loop_.active && loop_.channel == c && !loop_.countKnown) {
          loop_.countKnown = true;
          loop_.count = value;
        }
        return;
      case 7:
      case 10:
      case 11:
        (cc == 7 ? ch.volume : cc == 10 ? ch.pan : ch.expression) = value;
        return ForChannel(c, [&](int v) { UpdateVolume(v); });
      case 64:
        ch.damper = value >= 64;
        if (ch.damper) return;
        return ForChannel(c, [&](int v) {
          if (!owners_[v].held) return;
          owners_[v].held = false;
          voices_[v].KeyOff();
        });
      case 99:
        if (value == 20) loop_ = {true, c, reader_.mark(), tick, false, 0, 0};
        if (value == 30) LoopEnd(tick);
        return;
      default:
        return;
    }
  }

  void LoopEnd(std::uint64_t tick) {
    if (!loop_.active) return;
    if (tick == loop_.passStart) {  // a body that takes no time plays once
      loop_.active = false;
      return;
    }
    ++loop_.passes;
    const bool forever = !loop_.countKnown || loop_.count == 0 || loop_.count == 127;
    if (forever && !fading_ && loop_.passes >= loops_) {
      fading_ = true;
      fadeStart_ = tick;
    }
    if (!forever && loop_.passes >= loop_.count) {
      loop_.active = false;
      return;
    }
    reader_.Seek(loop_.resume);
    loop_.passStart = tick;
  }

  // ---- voices ----

  template <typename F>
  void ForChannel(std::uint8_t c, F f) {
    for (int v = 0; v < kVoices; ++v) {
      if (voices_[v].on() && owners_[v].channel == c) f(v);
    }
  }

  bool AnyVoiceOn() const {
    return std::any_of(std::begin(voices_), std::end(voices_), [](const Voice& v) { return v.on(); });
  }

  void NoteOn(std::uint8_t c, std::uint8_t key, std::uint8_t velocity) {
    const std::int16_t index = bank_.programOf[channels_[c].program];
    if (index < 0) {
      if (!silentProgramNoted_[channels_[c].program]) {
        silentProgramNoted_[channels_[c].program] = true;
        Warn("notes on program " + std::to_string(channels_[c].program) + ", which has no tones, are silent");
      }
      return;
    }
    const VabProgram& program = bank_.vab.programs[static_cast<std::size_t>(index)];
    for (const VabTone& tone : program.tones) {
      if (key < tone.minKey || key > tone.maxKey) continue;
      const VoiceSample sample = bank_.samples[tone.vag - 1u];
      if (sample.blocks == 0) continue;
      const int v = TakeVoice();
      owners_[v] = {c, key, velocity, false, &tone, &program, ++keyOns_};
      if (dry_) continue;
      voices_[v].KeyOn(sample, tone.adsr1, tone.adsr2, &streams_[tone.vag - 1u], &sharedBlocks_);
      UpdatePitch(v);
      UpdateVolume(v);
    }
  }

  void NoteOff(std::uint8_t c, std::uint8_t key) {
    const bool damper = channels_[c].damper;
    ForChannel(c, [&](int v) {
      if (owners_[v].key != key || voices_[v].envelope().phase() == EnvelopePhase::kRelease) return;
      if (damper) {
        owners_[v].held = true;
      } else {
        voices_[v].KeyOff();
      }
    });
  }

  int TakeVoice() {
    VoiceSlot slots[kVoices];
    for (int v = 0; v < kVoices; ++v) {
      const Voice& voice = voices_[v];
      if (!voice.on()) return v;
      slots[v] = {true, voice.envelope().phase() == EnvelopePhase::kRelease, voice.envelope().level(),
                  owners_[v].tone->priority, owners_[v].order};
    }
    const int v = PickVoice(slots);
    voices_[v].Stop();
    return v;
  }

  void UpdatePitch(int v) {
    const VoiceOwner& o = owners_[v];
    voices_[v].SetPitch(
        NotePitch(o.key, o.tone->center, o.tone->shift, channels_[o.channel].bend, o.tone->bendDown, o.tone->bendUp));
  }

  void UpdateVolume(int v) {
    const VoiceOwner& o = owners_[v];
    const Channel& ch = channels_[o.channel];
    const u128 gain = u128{o.velocity} * o.tone->volume * o.program->volume * bank_.vab.masterVolume * ch.volume *
                      ch.expression;
    const u128 whole = u128{127} * 127 * 127 * 127 * 127 * 127;
    const int p = std::clamp(o.tone->pan + o.program->pan + ch.pan - 128, 0, 127);
    if (p <= 64) {
      voices_[v].SetVolume(VolumeRegister(gain, whole), VolumeRegister(gain * static_cast<unsigned>(p), whole * 64));
    } else {
      voices_[v].SetVolume(VolumeRegister(gain * static_cast<unsigned>(127 - p), whole * 63), VolumeRegister(gain, whole));
    }
  }

  // ---- output ----

  // Mixes the voices for [from, to); returns the tick at which the last
  // voice that went off did so.
  std::uint64_t RenderChunk(std::uint64_t from, std::uint64_t to) {
    const std::uint32_t n = static_cast<std::uint32_t>(to - from);
    std::fill_n(mixL_, n, 0);
    std::fill_n(mixR_, n, 0);
    std::uint64_t last = from;
    for (Voice& voice : voices_) {
      if (!voice.on()) continue;
      const std::uint32_t done = voice.Render(mixL_, mixR_, n);
      if (!voice.on()) last = std::max(last, from + done);
    }
    return last;
  }

  void Output(std::uint64_t from, std::uint64_t to) {
    const std::size_t n = static_cast<std::size_t>(to - from);
    std::vector<std::int16_t>& pcm = song_.pcm;
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint64_t tick = from + k;
      const bool fades = fading_ && tick >= fadeStart_;
      const double fade =
          fades ? static_cast<double>(fadeTicks_ - (tick - fadeStart_)) / static_cast<double>(fadeTicks_) : 1.0;
      pcm.push_back(Sample(mixL_[k], fades, fade));
      pcm.push_back(Sample(mixR_[k], fades, fade));
    }
  }

  // The mix times the gain, then times the fade, rounded half away from zero
  // and clamped to 16 bits.
  std::int16_t Sample(std::int32_t mix, bool fades, double fade) const {
    if (!fades && gain_ == 1.0) return static_cast<std::int16_t>(std::clamp(mix, -32768, 32767));
    double x = static_cast<double>(mix) * gain_;
    if (fades) x *= fade;
    return static_cast<std::int16_t>(std::lround(std::clamp(x, -32768.0, 32767.0)));
  }

  void Warn(const std::string& text) {
    if (!dry_) song_.warnings.push_back(text);
  }

  static constexpr std::uint64_t kNever = ~std::uint64_t{0};

  const convert::Sequence& seq_;
  const PlayableBank& bank_;
  const RenderSettings& settings_;
  const bool dry_;
  SeqEventReader reader_;
  SeqEvent next_;
  bool pending_ = false;
  std::uint64_t nextTick_ = 0;
  u128 elapsed_ = 0;  // microseconds x resolution
  std::uint32_t tempo_ = 0;
  std::uint64_t eventsApplied_ = 0;
  bool ended_ = false;
  std::uint64_t endTick_ = 0;
  std::uint64_t lastOff_ = kNever;
  bool finished_ = false;
  Loop loop_;
  std::uint32_t loops_ = 2;
  bool fading_ = false;
  std::uint64_t fadeStart_ = 0;
  std::uint64_t fadeTicks_ = 0;
  double gain_ = 1.0;
  Channel channels_[16];
  Voice voices_[kVoices];
  std::vector<DecodedStream> streams_;  // by sample
  std::uint64_t sharedBlocks_ = 0;
  VoiceOwner owners_[kVoices];
  std::uint64_t keyOns_ = 0;
  bool silentProgramNoted_[128] = {};
  std::int32_t mixL_[kChunk];
  std::int32_t mixR_[kChunk];
  RenderedSong song_;
};

}  // namespace

std::uint32_t NotePitch(std::uint8_t key, std::uint8_t center, std::uint8_t shift, std::uint16_t bend,
                        std::uint8_t bendDown, std::uint8_t bendUp) {
  const double range = bend >= 8192 ? bendUp : bendDown;
  const double bent = (static_cast<double>(bend) - 8192.0) / 8192.0 * range;
  const double semis = static_cast<double>(key - center) + static_cast<double>(shift >> 3) / 16.0 + bent;
  const double pitch = std::floor(4096.0 * std::pow(2.0, semis / 12.0) + 0.5);
  return static_cast<std::uint32_t>(std::clamp(pitch, 0.0, 16383.0));
}

int PickVoice(const VoiceSlot (&slots)[24]) {
  for (int v = 0; v < 24; ++v) {
    if (!slots[v].on) return v;
  }
  int best = -1;
  for (int v = 0; v < 24; ++v) {
    if (slots[v].releasing && (best < 0 || slots[v].level < slots[best].level)) best = v;
  }
  if (best >= 0) return best;
  best = 0;
  for (int v = 1; v < 24; ++v) {
    const VoiceSlot& a = slots[v];
    const VoiceSlot& b = slots[best];
    if (a.priority < b.priority || (a.priority == b.priority && a.order < b.order)) best = v;
  }
  return best;
}

RenderedSong RenderSequence(const convert::Sequence& seq, const PlayableBank& bank, const RenderSettings& settings) {
  if (seq.resolution == 0) {
    RenderedSong song;
    song.error = "resolution 0: the sequence has no time base";
    return song;
  }
  if (!bank.error.empty()) {
    RenderedSong song;
    song.error = "bank: " + bank.error;
    return song;
  }
  auto sequencer = std::make_unique<Sequencer>(seq, bank, settings, false);
  return sequencer->Run();
}

std::uint64_t SequenceTicks(const convert::Sequence& seq, const RenderSettings& settings) {
  if (seq.resolution == 0) return 0;
  static const PlayableBank kNoBank = [] {
    PlayableBank b;
    b.programOf.fill(-1);
    return b;
  }();
  RenderSettings quiet = settings;
  quiet.progress = nullptr;
  auto sequencer = std::make_unique<Sequencer>(seq, kNoBank, quiet, true);
  return sequencer->Run().ticks;
}

}  // namespace psxdig::render
