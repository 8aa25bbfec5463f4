#include "pc/audio/convert.h"

#include <cmath>

namespace mme {

int32_t RateIndex(float factor) {
  for (int32_t i = 0; i < kRateCount; ++i)
    if (factor == kRateFactors[i]) return i;
  return -1;
}

void TConverter::Reset() { *this = TConverter(); }

namespace {
constexpr float kHalfScale = 16384.0f;
constexpr float kThirdOfThreeHalves = 21846.426f; // about full scale / 1.5
constexpr float kThirdScale = 10921.574f;         // a little under a third of full scale
// Interpolation weights for 3 engine samples over 4 device frames.
constexpr double kW0 = 0.618042, kW1 = 0.381958;
constexpr double kV0 = 0.048625, kV1 = 0.778138, kV2 = 0.173237;
} // namespace

void TConverter::Output(int32_t rate, const float x[2], float gain, TFrameSink& sink) {
  float v[2];
  for (int c = 0; c < 2; ++c) {
    v[c] = Clip(x[c] * kFullScale * gain);
    if (sink.track && rate <= kOne) sink.track(c, v[c]);
  }
  // The decimating conversions clip and track what they write.
  auto put = [&sink](float l, float r, bool track) {
    l = Clip(l);
    r = Clip(r);
    if (track && sink.track) {
      sink.track(0, l);
      sink.track(1, r);
    }
    sink.Put(l, r);
  };
  switch (rate) {
  case kHalf:
    put(float((outPrev_[0] + v[0]) * 0.5), float((outPrev_[1] + v[1]) * 0.5), false);
    put(v[0], v[1], false);
    outPrev_[0] = v[0];
    outPrev_[1] = v[1];
    break;
  case kThreeQuarters:
    if (outPhase_ == 0) {
      put(float(kW0 * outS1_[0] + kW1 * v[0]), float(kW0 * outS1_[1] + kW1 * v[1]), false);
      for (int c = 0; c < 2; ++c) outS2_[c] = v[c];
    } else if (outPhase_ == 1) {
      put(float(kV0 * outS1_[0] + kV1 * outS2_[0] + kV2 * v[0]), float(kV0 * outS1_[1] + kV1 * outS2_[1] + kV2 * v[1]),
          false);
      for (int c = 0; c < 2; ++c) outS1_[c] = v[c];
    } else {
      put(float(kV2 * outS2_[0] + kV1 * outS1_[0] + kV0 * v[0]), float(kV2 * outS2_[1] + kV1 * outS1_[1] + kV0 * v[1]),
          false);
      put(float(kW1 * outS1_[0] + kW0 * v[0]), float(kW1 * outS1_[1] + kW0 * v[1]), false);
      for (int c = 0; c < 2; ++c) outS1_[c] = v[c];
    }
    outPhase_ = (outPhase_ + 1) % 3;
    break;
  case kOne:
    put(v[0], v[1], false);
    break;
  case kThreeHalves:
    if (outPhase_ == 0) {
      for (int c = 0; c < 2; ++c) outS2_[c] = x[c];
    } else if (outPhase_ == 1) {
      for (int c = 0; c < 2; ++c) outS1_[c] = x[c];
    } else {
      float a[2], b[2];
      for (int c = 0; c < 2; ++c) {
        a[c] = float(gain * (outS3_[c] + outS2_[c]) * kHalfScale);
        b[c] = float(gain * ((outS2_[c] + x[c]) * 0.25 + outS1_[c]) * kThirdOfThreeHalves);
        outS3_[c] = x[c];
      }
      put(a[0], a[1], true);
      put(b[0], b[1], true);
    }
    outPhase_ = (outPhase_ + 1) % 3;
    break;
  case kTwo:
    if (outPhase_ == 0) {
      for (int c = 0; c < 2; ++c) outS1_[c] = x[c];
    } else {
      float a[2];
      for (int c = 0; c < 2; ++c) {
        a[c] = float(gain * ((x[c] + outS2_[c]) * 0.5 + outS1_[c]) * kHalfScale);
        outS2_[c] = x[c];
      }
      put(a[0], a[1], true);
    }
    outPhase_ = (outPhase_ + 1) % 2;
    break;
  case kThree:
    if (outPhase_ == 0) {
      for (int c = 0; c < 2; ++c) outS2_[c] = x[c];
    } else if (outPhase_ == 1) {
      for (int c = 0; c < 2; ++c) outS1_[c] = x[c];
    } else {
      float a[2];
      for (int c = 0; c < 2; ++c) {
        a[c] = float(gain * ((x[c] + outS3_[c]) * 0.5 + outS1_[c] + outS2_[c]) * kThirdScale);
        outS3_[c] = x[c];
      }
      put(a[0], a[1], true);
    }
    outPhase_ = (outPhase_ + 1) % 3;
    break;
  default:
    break;
  }
}

void TConverter::Input(int32_t rate, TFrameSource& source, float out[2]) {
  float a[2], b[2];
  switch (rate) {
  case kHalf:
    source.Get(a);
    source.Get(b);
    for (int c = 0; c < 2; ++c) {
      out[c] = 0.25f * inPrev_[c] + 0.5f * a[c] + 0.25f * b[c];
      inPrev_[c] = b[c];
    }
    break;
  case kThreeQuarters:
    if (inPhase_ == 0) {
      source.Get(a);
      for (int c = 0; c < 2; ++c) {
        out[c] = (inPrev_[c] + a[c]) * 0.5f;
        inPrev_[c] = a[c];
      }
    } else if (inPhase_ == 1) {
      source.Get(a);
      for (int c = 0; c < 2; ++c) out[c] = 0.75f * a[c] + 0.25f * inPrev_[c];
    } else {
      source.Get(a);
      source.Get(b);
      for (int c = 0; c < 2; ++c) {
        out[c] = 0.75f * a[c] + 0.25f * b[c];
        inPrev_[c] = b[c];
      }
    }
    inPhase_ = (inPhase_ + 1) % 3;
    break;
  case kOne:
    source.Get(a);
    out[0] = a[0];
    out[1] = a[1];
    break;
  case kThreeHalves:
    if (inPhase_ == 0) {
      source.Get(a);
      for (int c = 0; c < 2; ++c) {
        out[c] = (inS2_[c] + a[c]) * 0.5f;
        inS1_[c] = a[c];
      }
    } else if (inPhase_ == 1) {
      source.Get(b);
      for (int c = 0; c < 2; ++c) {
        out[c] = 0.25f * b[c] + 0.75f * inS1_[c];
        inS2_[c] = b[c];
      }
    } else {
      for (int c = 0; c < 2; ++c) out[c] = 0.75f * inS2_[c] + 0.25f * inS1_[c];
    }
    inPhase_ = (inPhase_ + 1) % 3;
    break;
  case kTwo:
    if (inPhase_ == 0) {
      source.Get(a);
      for (int c = 0; c < 2; ++c) {
        out[c] = (inPrev_[c] + a[c]) * 0.5f;
        inPrev_[c] = a[c];
      }
    } else {
      for (int c = 0; c < 2; ++c) out[c] = inPrev_[c];
    }
    inPhase_ = (inPhase_ + 1) % 2;
    break;
  case kThree:
    if (inPhase_ == 0) {
      source.Get(a);
      for (int c = 0; c < 2; ++c) {
        out[c] = 0.333f * a[c] + 0.667f * inS1_[c];
        inS2_[c] = a[c];
      }
    } else if (inPhase_ == 1) {
      for (int c = 0; c < 2; ++c) out[c] = 0.667f * inS2_[c] + 0.333f * inS1_[c];
    } else {
      for (int c = 0; c < 2; ++c) {
        inS1_[c] = inS2_[c];
        out[c] = inS2_[c];
      }
    }
    inPhase_ = (inPhase_ + 1) % 3;
    break;
  default:
    out[0] = out[1] = 0.0f;
    break;
  }
}

} // namespace mme
