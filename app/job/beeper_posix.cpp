// The tone on Linux: a sine through ALSA, loaded at run time.
#include <alsa/asoundlib.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "app/job/beeper.h"
#include "common/shared_library.h"

namespace stampwise {
namespace {

void Silent(const char*, int, const char*, int, const char*, ...) {}

// The sound library is loaded at run time: a machine without it still runs
// the tool, only silently.
struct AlsaTable {
  decltype(&snd_pcm_open) open = nullptr;
  decltype(&snd_pcm_set_params) setParams = nullptr;
  decltype(&snd_pcm_writei) writei = nullptr;
  decltype(&snd_pcm_recover) recover = nullptr;
  decltype(&snd_pcm_drain) drain = nullptr;
  decltype(&snd_pcm_close) close = nullptr;
  bool ok = false;

  AlsaTable() {
    common::SharedLibrary lib("libasound.so.2");
    if (!lib.IsOpen()) return;
    ok = lib.Resolve("snd_pcm_open", open) && lib.Resolve("snd_pcm_set_params", setParams) &&
         lib.Resolve("snd_pcm_writei", writei) && lib.Resolve("snd_pcm_recover", recover) &&
         lib.Resolve("snd_pcm_drain", drain) && lib.Resolve("snd_pcm_close", close);
    // Keep the library's own complaints (no card, no daemon) off the terminal.
    using SetHandler = int (*)(snd_lib_error_handler_t);
    if (auto set = lib.Entry<SetHandler>("snd_lib_error_set_handler")) set(&Silent);
    // The beeper's thread may still play while static objects go.
    lib.KeepLoaded();
  }
};

const AlsaTable& Alsa() {
  static const AlsaTable table;
  return table;
}

}  // namespace

bool PlayTone(int frequencyHz, int durationMs) {
  const AlsaTable& alsa = Alsa();
  if (!alsa.ok || durationMs <= 0) return false;
  snd_pcm_t* pcm = nullptr;
  if (alsa.open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
  constexpr unsigned kRate = 48000;
  bool played = false;
  if (alsa.setParams(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1, 50000) >= 0) {
    const std::size_t frames = static_cast<std::size_t>(kRate) * static_cast<std::size_t>(durationMs) / 1000;
    std::vector<std::int16_t> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / kRate;
      samples[i] = static_cast<std::int16_t>(12000.0 * std::sin(2.0 * std::numbers::pi * frequencyHz * t));
    }
    std::size_t done = 0;
    played = true;
    while (done < frames) {
      snd_pcm_sframes_t n = alsa.writei(pcm, samples.data() + done, frames - done);
      if (n < 0) n = alsa.recover(pcm, static_cast<int>(n), 1);
      if (n < 0) {
        played = false;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    if (played) alsa.drain(pcm);
  }
  alsa.close(pcm);
  return played;
}

}  // namespace stampwise
