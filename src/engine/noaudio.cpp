#include "src/engine/noaudio.h"

TNoAudio::TNoAudio(IAudioOwner* owner) : TAudioInOut(owner) {
  SetSampleRate(44100.0f);
  UpdateRateConstants();
}

IAudioInOut* CreateNoAudio(IAudioOwner* owner) { return new TNoAudio(owner); }
