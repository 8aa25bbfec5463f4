#include "pc/audio/mme.h"

#include "platform/dsound.h"
#include "platform/fs.h"
#include "platform/guihost.h"
#include "src/base/settings.h"
#include "src/base/str.h"
#include "src/engine/engine.h"
#include "src/mod/mod.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

using namespace mme;
using platform::ThreadMessage;
using platform::WaveBuffer;
using platform::WaveResult;

namespace {

constexpr char kNoneName[] = "None";
constexpr char kMmePrefix[] = "MME: ";
constexpr char kDsPrefix[] = "DirectSound: ";
constexpr char kSupportAddress[] = "https://quorvex.org/support";
constexpr char kMissingBridge[] = " is missing. Please install this version again. If problem persits contact us: ";
constexpr char kOutInUse[] = "Audio outport is in use by another application.";
constexpr char kInInUse[] = "Audio inport is in use by another application.";
constexpr char kNoDuplex[] = "Soundcard doesn't support full duplex mode.";
constexpr int32_t kShortBytes = kShortFrames * int32_t(platform::kWaveBytesPerFrame);
constexpr int32_t kLongBytes = kLongFrames * int32_t(platform::kWaveBytesPerFrame);
constexpr int32_t kClearSamples = kLongFrames * int32_t(platform::kWaveChannels);
constexpr int32_t kBufferSamples = kBufferDataBytes / int32_t(sizeof(int16_t));
constexpr uint32_t kRingBytes = 256000;
constexpr int32_t kRingFrames = int32_t(kRingBytes / platform::kWaveBytesPerFrame);
constexpr int32_t kSilenceChunkFrames = 4096;
constexpr int32_t kInputHeadStart = 2;
constexpr uint32_t kMsgSync = platform::kMsgUser + 111;
constexpr uint32_t kMsgLostInput = 1;

enum { kInShort, kInLong, kOutShort, kOutLong };

struct TPort {
  TStr name;
  int32_t id = -1;
};

// The process-wide port lists and the bridge.
struct TPorts {
  bool built = false;
  std::vector<TPort> in, out;
  int32_t lastMme = 0;
  bool anyOutput = false;
  TBridgeEntries bridge;
  bool bridgeBound = false;
  std::unique_ptr<platform::DynamicLibrary> library;
};

TPorts& Ports() {
  static TPorts* ports = new TPorts;
  return *ports;
}

TMultiMediaSystem& System() {
  static TMultiMediaSystem* system = new TMultiMediaSystem;
  return *system;
}

platform::WaveSystem& Waves() { return System().waves ? *System().waves : platform::Waves(); }

void Message(const TStr& text) {
  TParamStr message(text);
  ShowMessage(&message, 0);
}

template <typename F> bool Bind(const platform::DynamicLibrary& library, const char* name, F& entry) {
  entry = reinterpret_cast<F>(library.Symbol(name));
  return entry != nullptr;
}

bool BindDirectSoundBridge(TPorts& ports) {
  if (System().bridge) {
    ports.bridge = *System().bridge;
    return true;
  }
  std::string path = System().bridgePath;
  if (path.empty()) {
    path = platform::ProgramPath();
    path = path.substr(0, path.rfind('/') + 1) + kPeldsFileName;
  }
  auto library = platform::DynamicLibrary::Load(path);
  if (!library) {
    Message(TStr(kPeldsFileName) + TStr(kMissingBridge) + TStr(kSupportAddress));
    return false;
  }
  TBridgeEntries& b = ports.bridge;
  bool all = Bind(*library, "DsGetNumDevices", b.getNumDevices) & Bind(*library, "DsGetDeviceName", b.getDeviceName) &
             Bind(*library, "DsOpen", b.open) & Bind(*library, "DsClose", b.close) & Bind(*library, "DsStart", b.start) &
             Bind(*library, "DsStop", b.stop) & Bind(*library, "DsLock", b.lock) & Bind(*library, "DsUnLock", b.unlock) &
             Bind(*library, "DsGetNumSamplesAhead", b.getNumSamplesAhead);
  if (!all) {
    b = TBridgeEntries();
    return false;
  }
  ports.library = std::move(library);
  return true;
}

void BuildPorts() {
  TPorts& p = Ports();
  if (p.built) return;
  p.built = true;
  p.anyOutput = false;
  p.in.assign(1, TPort{kNoneName, -1});
  std::vector<platform::WaveDeviceInfo> inputs = Waves().Inputs();
  for (size_t i = 0; i < inputs.size() && p.in.size() < size_t(mme::kMaxPorts); ++i)
    if (inputs[i].supportsCdFormat && !inputs[i].name.empty())
      p.in.push_back(TPort{TStr(kMmePrefix) + TStr(inputs[i].name.c_str()), int32_t(i)});
  p.out.assign(1, TPort{kNoneName, -1});
  std::vector<platform::WaveDeviceInfo> outputs = Waves().Outputs();
  for (size_t i = 0; i < outputs.size() && p.out.size() < size_t(mme::kMaxPorts); ++i)
    if (outputs[i].supportsCdFormat && !outputs[i].name.empty()) {
      p.out.push_back(TPort{TStr(kMmePrefix) + TStr(outputs[i].name.c_str()), int32_t(i)});
      p.anyOutput = true;
    }
  p.lastMme = int32_t(p.out.size()) - 1;
  p.bridgeBound = BindDirectSoundBridge(p);
  if (p.bridgeBound) {
    int count = p.bridge.getNumDevices();
    for (int i = 0; i < count && p.out.size() < size_t(mme::kMaxPorts); ++i) {
      const char* name = p.bridge.getDeviceName(i);
      if (!name || !*name) continue;
      p.out.push_back(TPort{TStr(kDsPrefix) + TStr(name), i});
      p.anyOutput = true;
    }
  }
}

int32_t FindPort(const std::vector<TPort>& list, const TStr& stored, bool* found = nullptr) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].name == stored || list[i].name == TStr(kMmePrefix) + stored) {
      if (found) *found = true;
      return int32_t(i);
    }
  if (found) *found = false;
  return list.size() > 1 ? 1 : 0;
}

TStr Quoted(const TStr& name) { return TStr("\"") + name + TStr("\""); }

// What plays after a start that could not use the chosen output.
TStr PlayingInstead(const TStr& output) {
  if (output.IsEmpty()) return TStr(" Sound stays off until you choose another audio port.");
  return TStr(" Sound plays through ") + Quoted(output) + TStr(" instead.");
}

int32_t ClampDelayBlocks(int32_t ms) { return std::clamp(ms, kMinDelayMs, kMaxDelayMs) / kTickMs; }

// ---------------------------------------------------------------------------
// What the Audio In and Audio Out routines read and write: the current output
// block and the ring of recorded blocks still to read.

struct TIo {
  int16_t* outBlock = nullptr;
  int16_t* outAt = nullptr;
  int16_t* outEnd = nullptr;
  struct TPair {
    const int16_t* begin = nullptr;
    const int16_t* end = nullptr;
  } pairs[kRingSize];
  int32_t write = 0;
  int32_t read = 0;
  const int16_t* inAt = nullptr;
  const int16_t* inEnd = nullptr;
  bool inputActive = false;
  TConverter converter;

  void ResetInput() {
    write = read = 0;
    inAt = inEnd = nullptr;
  }
  void Append(const int16_t* begin, const int16_t* end) {
    pairs[write] = TPair{begin, end};
    write = (write + 1) % kRingSize;
    if (write == read) read = (read + 1) % kRingSize; // full: the oldest goes
  }
  void NextPair() {
    if (read == write) {
      inAt = inEnd = nullptr;
      return;
    }
    inAt = pairs[read].begin;
    inEnd = pairs[read].end;
    read = (read + 1) % kRingSize;
  }
};

TIo io;

void TrackOutput(int32_t channel, float value) { EngineLevels[2 + channel].Track(value); }

// Reads the recorded frames; without an active input, or when the recorded
// blocks have run out, every frame is silence.
struct TRingSource : TFrameSource {
  void Get(float frame[2]) override {
    if (!io.inputActive) {
      frame[0] = frame[1] = 0.0f;
      return;
    }
    if (!io.inAt || io.inAt >= io.inEnd) io.NextPair();
    if (!io.inAt) {
      frame[0] = frame[1] = 0.0f;
      return;
    }
    for (int c = 0; c < 2; ++c) {
      frame[c] = float(io.inAt[c]) / kFullScale;
      EngineLevels[c].Track(frame[c]);
    }
    io.inAt += 2;
    if (io.inAt >= io.inEnd) io.NextPair();
  }
};

template <int32_t Rate> void OutputRoutine() {
  float* const* inputs = SlotInputs()[0];
  const TVoiceWords state = SlotStates()[0];
  int32_t channels = SlotRecord()->audioInputs;
  float x[2] = {channels > 0 ? *inputs[0] : 0.0f, channels > 1 ? *inputs[1] : 0.0f};
  TFrameSink sink{io.outAt, io.outEnd, TrackOutput};
  io.converter.Output(Rate, x, state[0].f, sink);
  io.outAt = sink.at;
}

template <int32_t Rate> void InputRoutine() {
  const TVoiceWords state = SlotStates()[0];
  TRingSource source;
  float out[2];
  io.converter.Input(Rate, source, out);
  state[0].f = out[0];
  state[1].f = out[1];
}

void MmeCallback(void* user) { static_cast<TMultiMedia*>(user)->MmeTick(); }
void DsCallback(void* user) { static_cast<TMultiMedia*>(user)->DsTick(); }

// Signals the end of a message-queue barrier.
struct TSyncState {
  std::mutex mutex;
  std::condition_variable cv;
  uint64_t requested = 0;
  uint64_t handled = 0;
};

TSyncState& Sync() {
  static TSyncState* sync = new TSyncState;
  return *sync;
}

} // namespace

// ---------------------------------------------------------------------------

struct TMultiMedia::TRing {
  std::vector<int16_t> data;
  std::unique_ptr<WaveBuffer[]> headers;
  int32_t index = 0;
  TRing(int32_t bytes) : data(size_t(kRingSize) * kBufferSamples), headers(new WaveBuffer[kRingSize]) {
    for (int32_t i = 0; i < kRingSize; ++i) {
      headers[i].data = data.data() + size_t(i) * kBufferSamples;
      headers[i].bytes = uint32_t(bytes);
      headers[i].flags.store(platform::kWavePrepared | platform::kWaveDone);
    }
  }
};

void SetMultiMediaSystem(const TMultiMediaSystem& system) {
  System() = system;
  TPorts& p = Ports();
  p.built = false;
  p.in.clear();
  p.out.clear();
  p.bridge = TBridgeEntries();
  p.bridgeBound = false;
  // A bridge once loaded stays loaded for the rest of the process: what it
  // holds lives as long as the process does.
  static auto* retired = new std::vector<std::unique_ptr<platform::DynamicLibrary>>;
  if (p.library) retired->push_back(std::move(p.library));
}

bool IsMultiMediaAvailable() {
  BuildPorts();
  return Ports().anyOutput;
}

int32_t GetMultiMediaInputCount() { return 2; }
int32_t GetMultiMediaOutputCount() { return 2; }

IAudioInOut* CreateMultiMedia(IAudioOwner* owner) { return new TMultiMedia(owner); }

void RegisterMultiMedia() {
  TAudioPort port;
  port.available = IsMultiMediaAvailable;
  port.inputs = GetMultiMediaInputCount;
  port.outputs = GetMultiMediaOutputCount;
  port.create = CreateMultiMedia;
  RegisterAudioPort(kAudioMultiMedia, port);
}

// ---------------------------------------------------------------------------
// Construction and settings

TMultiMedia::TMultiMedia(IAudioOwner* owner) : TAudioInOut(owner) {
  BuildPorts();
  inputRoutines_[kHalf] = InputRoutine<kHalf>;
  inputRoutines_[kThreeQuarters] = InputRoutine<kThreeQuarters>;
  inputRoutines_[kOne] = InputRoutine<kOne>;
  inputRoutines_[kThreeHalves] = InputRoutine<kThreeHalves>;
  inputRoutines_[kTwo] = InputRoutine<kTwo>;
  inputRoutines_[kThree] = InputRoutine<kThree>;
  outputRoutines_[kHalf] = OutputRoutine<kHalf>;
  outputRoutines_[kThreeQuarters] = OutputRoutine<kThreeQuarters>;
  outputRoutines_[kOne] = OutputRoutine<kOne>;
  outputRoutines_[kThreeHalves] = OutputRoutine<kThreeHalves>;
  outputRoutines_[kTwo] = OutputRoutine<kTwo>;
  outputRoutines_[kThree] = OutputRoutine<kThree>;
  TPorts& p = Ports();
  timer_ = System().timer;
  if (!timer_) {
    ownTimer_ = platform::CreatePeriodicTimer();
    timer_ = ownTimer_.get();
  }
  TStr inName = ReadSettingStr(setting::MmeInPort, p.in[0].name);
  inDelay_ = ClampDelayBlocks(int32_t(ReadSettingInt(setting::MmeInDelay, kDefaultInDelayMs)));
  TStr outName = ReadSettingStr(setting::MmeOutPort, p.out.size() > 1 ? p.out[1].name : p.out[0].name);
  outDelay_.store(ClampDelayBlocks(int32_t(ReadSettingInt(setting::MmeOutDelay, kDefaultOutDelayMs))));
  inPort_ = FindPort(p.in, inName);
  bool outFound = true;
  outPort_ = FindPort(p.out, outName, &outFound);
  // A stored output that is not listed stays the stored choice (it may be
  // plugged in by the next start); the start says what plays instead.
  if (!outFound) missingOutName_ = lostOutName_ = outName;
  prevInPort_ = prevOutPort_ = 0;
  UpdateBlockLength();
}

TMultiMedia::~TMultiMedia() {
  DestructorBody([this] {
    *alive_ = nullptr;
    if (thread_.IsRunning()) {
      // Still running (the owner did not stop it): wind down as a stop would.
      ReleaseBuffers(true);
      CloseDevices();
      messages_.Post(platform::kMsgEndThread);
      thread_.Wait(kThreadWaitMs);
      FreeRings();
    }
    SaveSettings();
  });
}

void TMultiMedia::SaveSettings() {
  TPorts& p = Ports();
  TStr inName = !lostInName_.IsEmpty() ? lostInName_ : p.in[size_t(inPort_)].name;
  TStr outName = !lostOutName_.IsEmpty() ? lostOutName_ : p.out[size_t(outPort_)].name;
  WriteSettingStr(setting::MmeInPort, inName);
  WriteSettingInt(setting::MmeInDelay, uint32_t(inDelay_ * kTickMs));
  WriteSettingStr(setting::MmeOutPort, outName);
  WriteSettingInt(setting::MmeOutDelay, uint32_t(outDelay_.load() * kTickMs));
}

namespace {
TMultiMediaDialog settingsDialog = nullptr;
} // namespace

void SetMultiMediaDialog(TMultiMediaDialog dialog) { settingsDialog = dialog; }

bool TMultiMedia::HasSettingsDialog() { return settingsDialog != nullptr; }

void TMultiMedia::ShowSettingsDialog() {
  if (settingsDialog) settingsDialog(this);
}

// ---------------------------------------------------------------------------
// Ports and delays

int32_t TMultiMedia::GetInPortCount() { return int32_t(Ports().in.size()); }
int32_t TMultiMedia::GetOutPortCount() { return int32_t(Ports().out.size()); }

TStr TMultiMedia::GetInPortName(int32_t index) {
  const auto& list = Ports().in;
  return index >= 0 && size_t(index) < list.size() ? list[size_t(index)].name : TStr();
}

TStr TMultiMedia::GetOutPortName(int32_t index) {
  const auto& list = Ports().out;
  return index >= 0 && size_t(index) < list.size() ? list[size_t(index)].name : TStr();
}

bool TMultiMedia::IsDirectSoundPort(int32_t port) const { return port > Ports().lastMme; }

bool TMultiMedia::SetInPort(int32_t index) { return ChangePort(true, index); }
bool TMultiMedia::SetOutPort(int32_t index) { return ChangePort(false, index); }

bool TMultiMedia::ChangePort(bool input, int32_t index) {
  int32_t count = input ? GetInPortCount() : GetOutPortCount();
  if (index < 0 || index >= count) return false;
  (input ? lostInName_ : lostOutName_) = TStr();
  int32_t& port = input ? inPort_ : outPort_;
  if (port == index) return true;
  KSModul* top = owner_ ? KSModul::Of(owner_->GetTopModule()) : nullptr;
  Pause();
  prevInPort_ = inPort_;
  prevOutPort_ = outPort_;
  port = index;
  Resume();
  Pause();
  if (top) top->ApplyDriverChannels();
  Resume();
  if (port != index) {
    if (top) top->ApplyDriverChannels();
    return false;
  }
  return true;
}

void TMultiMedia::SetInputForced(bool forced) {
  inForced_ = forced;
  if (inPort_ != 0) {
    Pause();
    Resume();
  }
}

void TMultiMedia::SetInDelay(int32_t ms) {
  int32_t blocks = ClampDelayBlocks(ms);
  if (blocks == inDelay_) return;
  Pause();
  inDelay_ = blocks;
  Resume();
}

void TMultiMedia::SetOutDelay(int32_t ms) {
  int32_t blocks = ClampDelayBlocks(ms);
  int32_t old = outDelay_.exchange(blocks);
  skipInsert_.fetch_add(old - blocks);
}

int32_t TMultiMedia::TakeInLatency() {
  int32_t sum = inLeadSum_.exchange(0), count = inLeadCount_.exchange(0);
  return count < 1 ? 0 : sum * kTickMs / count;
}

int32_t TMultiMedia::TakeOutLatency() {
  int32_t sum = outDepthSum_.exchange(0), count = outDepthCount_.exchange(0);
  return count < 1 ? 0 : sum * kTickMs / count;
}

uint32_t TMultiMedia::GetDeviceXruns() const {
  uint32_t n = xruns_.load();
  if (inDevice_) n += inDevice_->Xruns();
  if (outDevice_) n += outDevice_->Xruns();
  return n;
}

// ---------------------------------------------------------------------------
// Levels, block lengths, buffers

float TMultiMedia::TakeInputLevel(int32_t channel) {
  constexpr float kInputHeadroom = 0.98f;
  return TakeLevelPair(channel) / kInputHeadroom;
}

float TMultiMedia::TakeOutputLevel(int32_t channel) { return TakeLevelPair(2 + channel) / kLargest; }

void TMultiMedia::UpdateBlockLength() {
  TLockGuard guard(EngineCriticalSection());
  float factor = owner_ ? owner_->GetRateFactor() : 1.0f;
  int32_t rate = RateIndex(factor);
  rate_ = rate < 0 ? kOne : rate;
  shortEngineBlock_.store(int32_t(kShortFrames * factor));
  longEngineBlock_.store(int32_t(kLongFrames * factor));
  blockLength_ = int32_t(float(currentDeviceBlock_.load()) * factor);
  // A new factor starts a new pattern.
  io.converter.Reset();
}

void TMultiMedia::ClearBuffers() {
  auto clear = [](TRing* ring) {
    if (!ring) return;
    for (int32_t i = 0; i < kRingSize; ++i) std::memset(ring->headers[i].data, 0, kClearSamples * sizeof(int16_t));
  };
  if (inActive_) {
    clear(rings_[kInShort].get());
    clear(rings_[kInLong].get());
  }
  if (outActive_) {
    clear(rings_[kOutShort].get());
    clear(rings_[kOutLong].get());
  }
}

void TMultiMedia::ClearOutput() {
  if (io.outBlock) std::memset(io.outBlock, 0, size_t(currentDeviceBlock_.load()) * platform::kWaveChannels * sizeof(int16_t));
}

void TMultiMedia::AllocateRings() {
  rings_[kInShort] = std::make_unique<TRing>(kShortBytes);
  rings_[kInLong] = std::make_unique<TRing>(kLongBytes);
  rings_[kOutShort] = std::make_unique<TRing>(kShortBytes);
  rings_[kOutLong] = std::make_unique<TRing>(kLongBytes);
}

void TMultiMedia::FreeRings() {
  io.outBlock = io.outAt = io.outEnd = nullptr;
  io.inputActive = false;
  io.ResetInput();
  for (auto& r : rings_) r.reset();
}

// ---------------------------------------------------------------------------
// The message thread

void TMultiMedia::RunMessages() {
  for (;;) {
    ThreadMessage m = messages_.Get();
    switch (m.id) {
    case platform::kMsgDeviceLost: DeviceLost(m.wparam == kMsgLostInput); break;
    case kMsgSync: {
      TSyncState& s = Sync();
      std::lock_guard<std::mutex> lock(s.mutex);
      s.handled = std::max<uint64_t>(s.handled, m.wparam);
      s.cv.notify_all();
      break;
    }
    case platform::kMsgEndThread: return;
    default: break;
    }
  }
}

bool TMultiMedia::SyncMessages(uint32_t milliseconds) {
  if (!thread_.IsRunning()) return true;
  TSyncState& s = Sync();
  std::unique_lock<std::mutex> lock(s.mutex);
  uint64_t ticket = ++s.requested;
  messages_.Post(kMsgSync, uintptr_t(ticket));
  return s.cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return s.handled >= ticket; });
}

void TMultiMedia::DeviceLost(bool input) {
  (input ? inLost_ : outLost_).store(true);
  std::shared_ptr<TMultiMedia*> alive = alive_;
  if (owner_)
    owner_->PostToGui([alive] {
      if (*alive) (*alive)->HandleDeviceLost();
    });
}

void TMultiMedia::HandleDeviceLost() {
  bool in = inLost_.exchange(false), out = outLost_.exchange(false);
  if (!in && !out) return;
  TPorts& p = Ports();
  TStr names;
  if (in && inPort_ != 0) {
    lostInName_ = p.in[size_t(inPort_)].name;
    names = lostInName_;
  }
  if (out && outPort_ != 0) {
    lostOutName_ = p.out[size_t(outPort_)].name;
    names = names.IsEmpty() ? lostOutName_ : names + TStr(", ") + lostOutName_;
  }
  KSModul* top = owner_ ? KSModul::Of(owner_->GetTopModule()) : nullptr;
  Pause();
  if (in) inPort_ = 0;
  if (out) outPort_ = 0;
  prevInPort_ = inPort_;
  prevOutPort_ = outPort_;
  Resume();
  if (top) top->ApplyDriverChannels();
  Message(TStr("The sound device \"") + names +
          TStr("\" is no longer available. Sound stays off until you choose another audio port."));
}

// ---------------------------------------------------------------------------
// Start, stop, pause, resume

int32_t TMultiMedia::DeviceStart() {
  stopFlag_.store(false);
  if (!thread_.IsRunning()) thread_.Start([this] { RunMessages(); });
  SetSampleRate(float(platform::kWaveRate));
  inLeadSum_.store(0);
  inLeadCount_.store(0);
  outDepthSum_.store(0);
  outDepthCount_.store(0);
  inActive_ = inForced_ = outActive_ = false;
  AllocateRings();
  starting_ = true;
  triedOutPorts_ = 0;
  failedOutName_ = TStr();
  OpenDevices();
  starting_ = false;
  Prefill();
  TellStartFallback();
  return 0;
}

void TMultiMedia::TellStartFallback() {
  TStr chosen, what;
  if (!failedOutName_.IsEmpty()) {
    chosen = failedOutName_;
    what = TStr(kOutInUse);
  } else if (!missingOutName_.IsEmpty()) {
    chosen = missingOutName_;
    what = TStr("The sound device ") + Quoted(chosen) + TStr(" was not found.");
  } else {
    return;
  }
  missingOutName_ = failedOutName_ = TStr();
  // The choice is kept for the next start unless the user picks another port.
  lostOutName_ = chosen;
  Message(what + PlayingInstead(outPort_ != 0 ? Ports().out[size_t(outPort_)].name : TStr()));
}

void TMultiMedia::DeviceStop() {
  ReleaseBuffers(true);
  CloseDevices();
  messages_.Post(platform::kMsgEndThread);
  thread_.Wait(kThreadWaitMs);
  FreeRings();
}

void TMultiMedia::DevicePause() {
  ReleaseBuffers(false);
  CloseDevices();
}

void TMultiMedia::DeviceResume() {
  OpenDevices();
  Prefill();
}

void TMultiMedia::OpenDevices() {
  stopFlag_.store(false);
  TickUsage();
  skipInsert_.store(0);
  currentDeviceBlock_ = kLongFrames;
  UpdateBlockLength();
  for (;;) {
    TStr inputFirst = ReadSettingStr(setting::MmeInputFirst, TStr());
    if (inputFirst.IsEmpty()) {
      if (!OpenOutput()) {
        RevertPorts(kOutInUse);
        continue;
      }
      if (OpenInput()) return;
      CloseOutput();
      if (!OpenInput()) {
        RevertPorts(kInInUse);
      } else {
        CloseInput();
        RevertPorts(kNoDuplex);
      }
    } else {
      if (!OpenInput()) {
        RevertPorts(kInInUse);
        continue;
      }
      if (OpenOutput()) return;
      CloseInput();
      if (!OpenOutput()) {
        RevertPorts(kOutInUse);
      } else {
        CloseOutput();
        RevertPorts(kNoDuplex);
      }
    }
  }
}

void TMultiMedia::RevertPorts(const char* message) {
  const bool outputFailed = message == kOutInUse || message == kNoDuplex;
  if (starting_ && message == kOutInUse && outPort_ != 0) {
    // The start's output would not open: the next listed output that opens
    // plays instead, and the start says so once it is done.
    if (failedOutName_.IsEmpty()) failedOutName_ = Ports().out[size_t(outPort_)].name;
    if (outPort_ < 64) triedOutPorts_ |= uint64_t(1) << unsigned(outPort_);
    int32_t next = 0;
    // Only wave outputs stand in: a ring port opens nothing before the
    // main window exists.
    for (int32_t i = 1; i <= Ports().lastMme && i < 64; ++i)
      if (!(triedOutPorts_ & (uint64_t(1) << unsigned(i)))) {
        next = i;
        break;
      }
    outPort_ = prevOutPort_ = next;
    return;
  }
  if (inPort_ == prevInPort_ && outPort_ == prevOutPort_) {
    // The ports in use no longer open (a resume after the device went): the
    // sound goes off, and the user hears why instead of silence.
    const TStr name = outputFailed && outPort_ != 0 ? Ports().out[size_t(outPort_)].name
                      : inPort_ != 0                ? Ports().in[size_t(inPort_)].name
                                                    : TStr();
    if (outputFailed && outPort_ != 0) lostOutName_ = name;
    else if (!outputFailed && inPort_ != 0) lostInName_ = name;
    inPort_ = outPort_ = prevInPort_ = prevOutPort_ = 0;
    if (!name.IsEmpty() && !starting_)
      Message(TStr("The sound device ") + Quoted(name) + TStr(" cannot be opened.") + PlayingInstead(TStr()));
    return;
  }
  Message(TStr(message));
  inPort_ = prevInPort_;
  outPort_ = prevOutPort_;
}

bool TMultiMedia::OpenInput() {
  inActive_ = false;
  if (inPort_ == 0) return true;
  if (GetAudioInModuleCount() == 0 && !inForced_) return true;
  const TPort& port = Ports().in[size_t(inPort_)];
  if (Waves().Open(true, port.id, &messages_, inDevice_) != WaveResult::kOk) return false;
  // The ticks count done buffers on the device itself: the message thread
  // is not woken for every buffer.
  inDevice_->SetBufferMessages(false);
  inActive_ = true;
  return true;
}

bool TMultiMedia::OpenOutput() {
  outActive_ = false;
  dsOpen_ = false;
  if (outPort_ == 0) return true;
  const TPort& port = Ports().out[size_t(outPort_)];
  if (IsDirectSoundPort(outPort_)) {
    if (platform::WindowHandle window = platform::GetClientWindowHandle()) {
      if (!Ports().bridge.open || Ports().bridge.open(port.id, window) == 0) return false;
      dsOpen_ = true;
    }
  } else if (Waves().Open(false, port.id, &messages_, outDevice_) != WaveResult::kOk) {
    return false;
  } else {
    outDevice_->SetBufferMessages(false);
  }
  outActive_ = true;
  ClearBuffers();
  return true;
}

void TMultiMedia::CloseOutput() {
  if (outDevice_) {
    xruns_.fetch_add(outDevice_->Xruns());
    outDevice_->Reset();
    outDevice_.reset();
  }
  if (dsOpen_) {
    Ports().bridge.close();
    dsOpen_ = false;
  }
  outActive_ = false;
}

void TMultiMedia::CloseInput() {
  if (inDevice_) {
    xruns_.fetch_add(inDevice_->Xruns());
    inDevice_->Reset();
    inDevice_.reset();
  }
  inActive_ = false;
}

void TMultiMedia::Prefill() {
  // What the devices closed before posted is handled before the new queue starts.
  SyncMessages();
  int32_t delay = outDelay_.load();
  blocksQueued_ = delay;
  inDoneBase_ = delay + inDelay_;
  io.converter.Reset();
  io.ResetInput();
  io.inputActive = inActive_;
  if (inActive_) {
    TRing& ring = *rings_[kInLong];
    for (int32_t i = 0; i < inDelay_; ++i) {
      WaveBuffer& h = ring.headers[i];
      std::memset(h.data, 0, h.bytes);
      io.Append(h.data, h.data + h.bytes / sizeof(int16_t));
    }
    // The device gets a head start of buffers, so that it always has one to
    // record into while the ticks keep the queue level; what it records
    // follows the silence in the read order.
    for (int32_t i = 0; i < kInputHeadStart; ++i) {
      WaveBuffer& h = ring.headers[inDelay_ + i];
      io.Append(h.data, h.data + h.bytes / sizeof(int16_t));
      inDevice_->Queue(&h);
    }
    io.NextPair();
  }
  if (outActive_) {
    if (dsOpen_) {
      dsWritten_ = 0; // the open put the ring's write offset at its start
      WriteSilentAhead(delay * kLongFrames);
      Ports().bridge.start();
    } else if (outDevice_) {
      TRing& ring = *rings_[kOutLong];
      outDevice_->Pause();
      for (int32_t i = 0; i < delay; ++i) outDevice_->Queue(&ring.headers[i]);
      outDevice_->Restart();
    }
  }
  if (inActive_) inDevice_->Start();
  if (outActive_ && (outDevice_ || dsOpen_)) StartTimer();
}

void TMultiMedia::StartTimer() {
  firstTick_ = true;
  blocksOwed_ = 0;
  dsCursor_ = -1;
  dsStillTicks_ = 0;
  rings_[kInShort]->index = 0;
  rings_[kInLong]->index = inDelay_ + kInputHeadStart;
  rings_[kOutShort]->index = 0;
  rings_[kOutLong]->index = outDelay_.load();
  timer_->Start(uint32_t(kTickMs), dsOpen_ ? DsCallback : MmeCallback, this);
}

void TMultiMedia::StopTimer() { timer_->Stop(); }

void TMultiMedia::ReleaseBuffers(bool free) {
  StopTimer();
  stopFlag_.store(free);
  // Every queued buffer comes back at once; the wait for them is bounded.
  if (inDevice_) inDevice_->Reset();
  if (dsOpen_) Ports().bridge.stop();
  if (outDevice_) outDevice_->Reset();
  uint32_t waited = 0;
  auto allDone = [this] {
    for (auto& r : rings_)
      if (r)
        for (int32_t i = 0; i < kRingSize; ++i)
          if (!(r->headers[i].flags.load() & platform::kWaveDone)) return false;
    return true;
  };
  while (!allDone() && waited < kBufferWaitMs) {
    platform::SleepMs(1);
    ++waited;
  }
}

void TMultiMedia::CloseDevices() {
  CloseInput();
  CloseOutput();
  io.inputActive = false;
}

// ---------------------------------------------------------------------------
// The ticks

int32_t TMultiMedia::OutDone() const { return outDevice_ ? int32_t(outDevice_->Done()) : 0; }

int32_t TMultiMedia::InDone() const { return inDoneBase_ + (inDevice_ ? int32_t(inDevice_->Done()) : 0); }

WaveBuffer* TMultiMedia::NextHeader(TRing& ring) {
  WaveBuffer* h = &ring.headers[ring.index];
  ring.index = (ring.index + 1) % kRingSize;
  // A buffer still with the device is never written again.
  return (h->flags.load() & platform::kWaveDone) ? h : nullptr;
}

void TMultiMedia::BeginBlock(WaveBuffer* out, WaveBuffer* in, bool shortBlock) {
  currentDeviceBlock_ = shortBlock ? kShortFrames : kLongFrames;
  io.outBlock = io.outAt = out->data;
  io.outEnd = out->data + size_t(currentDeviceBlock_.load()) * platform::kWaveChannels;
  if (in) io.Append(in->data, in->data + in->bytes / sizeof(int16_t));
}

void TMultiMedia::MmeTick() {
  bool makingUp = false;
  for (;;) {
    if (timer_->IsBeingStopped()) return;
    int32_t skip = skipInsert_.load();
    if (skip > 0) {
      skipInsert_.fetch_sub(1);
      return;
    }
    int32_t delay = outDelay_.load();
    int32_t done = OutDone();
    if (skip == 0 && blocksQueued_ - done > delay + kDepthWindow) return;
    if (firstTick_) {
      platform::Sched().RaiseThreadPriority();
      firstTick_ = false;
    }
    bool inserting = skip < 0;
    // The engine first: a block it cannot run now (a structure change holds
    // it) is made up on a later tick while the device still has enough to
    // play; only a device about to run dry gets a silent block.
    bool locked = !inserting && EnterForBlock();
    if (!inserting && !locked && blocksQueued_ - done > kStarveDepth) {
      if (!makingUp) OweBlock();
      return;
    }
    bool shortBlock = blocksQueued_ + 1 - done > delay;
    WaveBuffer* out = NextHeader(*rings_[shortBlock ? kOutShort : kOutLong]);
    if (!out) {
      if (locked) EngineCriticalSection().Leave();
      return;
    }
    WaveBuffer* in = inActive_ ? NextHeader(*rings_[shortBlock ? kInShort : kInLong]) : nullptr;
    ++blocksQueued_;
    if (inActive_) {
      inLeadSum_.fetch_add(InDone() - blocksQueued_);
      inLeadCount_.fetch_add(1);
    }
    outDepthSum_.fetch_add(blocksQueued_ - done);
    outDepthCount_.fetch_add(1);
    BeginBlock(out, in, shortBlock);
    if (inserting) {
      skipInsert_.fetch_add(1);
      ClearOutput();
    } else if (locked) {
      ProcessHeldBlock(shortBlock ? shortEngineBlock_.load() : longEngineBlock_.load());
    } else {
      // Owed blocks stay owed: once the engine is free they bring the queue
      // back to its delay.
      SkipBlock();
    }
    if (in) inDevice_->Queue(in);
    outDevice_->Queue(out);
    if (inserting) continue;
    if (!locked || !TakeOwedBlock(blocksQueued_ - OutDone() <= delay)) return;
    makingUp = true;
  }
}

void TMultiMedia::OweBlock() {
  if (blocksOwed_ < kMaxOwedBlocks) ++blocksOwed_;
  deferredBlocks_.fetch_add(1, std::memory_order_relaxed);
}

bool TMultiMedia::TakeOwedBlock(bool roomForIt) {
  // A queue back at its delay owes nothing more: the device played on
  // meanwhile from what was queued, and more would only add latency.
  if (!roomForIt) blocksOwed_ = 0;
  if (blocksOwed_ <= 0) return false;
  --blocksOwed_;
  return true;
}

void TMultiMedia::WriteSilentAhead(int32_t frames) {
  const TBridgeEntries& b = Ports().bridge;
  while (frames > 0) {
    int32_t n = std::min(frames, kSilenceChunkFrames);
    TDsLockRecord* r = b.lock(n);
    if (r->first) std::memset(r->first, 0, size_t(r->firstFrames) * platform::kWaveBytesPerFrame);
    if (r->second) std::memset(r->second, 0, size_t(r->secondFrames) * platform::kWaveBytesPerFrame);
    b.unlock();
    frames -= n;
    dsWritten_ = (dsWritten_ + n) % kRingFrames;
  }
}

bool TMultiMedia::RingStalled(int32_t aheadFrames) {
  // The bridge cannot say that its device went away: a ring that plays
  // moves its play position, so one that stays put tick after tick has
  // lost its device.
  const int32_t cursor = ((dsWritten_ - aheadFrames) % kRingFrames + kRingFrames) % kRingFrames;
  if (cursor != dsCursor_) {
    dsCursor_ = cursor;
    dsStillTicks_ = 0;
    return false;
  }
  if (dsStillTicks_ >= kStallTicks) return true;
  // Once: the driver's own thread hands the loss on as for a wave device.
  if (++dsStillTicks_ == kStallTicks) messages_.Post(platform::kMsgDeviceLost, 0);
  return dsStillTicks_ >= kStallTicks;
}

void TMultiMedia::DsTick() {
  const TBridgeEntries& b = Ports().bridge;
  if (timer_->IsBeingStopped() || RingStalled(b.getNumSamplesAhead())) return;
  bool makingUp = false;
  for (;;) {
    if (timer_->IsBeingStopped()) return;
    int32_t aheadFrames = b.getNumSamplesAhead();
    int32_t skip = skipInsert_.load();
    if (skip > 0) {
      skipInsert_.fetch_sub(1);
      return;
    }
    int32_t delay = outDelay_.load();
    if (skip == 0) {
      if (uint32_t(aheadFrames) * platform::kWaveBytesPerFrame >= kRingBytes / 2) {
        // The play cursor has passed what was written: the ring would play
        // old sound again. Silence goes ahead of the cursor up to the delay.
        WriteSilentAhead(int32_t(kRingBytes / platform::kWaveBytesPerFrame) - aheadFrames + delay * kLongFrames);
        blocksOwed_ = 0;
        return;
      }
      if (aheadFrames / kLongFrames - delay > kDepthWindow) return;
      if (aheadFrames / kLongFrames - delay < -kDepthWindow) {
        // Too shallow: silence fills up to the delay before the cursor gets there.
        WriteSilentAhead(delay * kLongFrames - aheadFrames);
        aheadFrames = delay * kLongFrames;
        blocksOwed_ = 0;
      }
    }
    int32_t ahead = aheadFrames / kLongFrames;
    if (firstTick_) {
      platform::Sched().RaiseThreadPriority();
      firstTick_ = false;
    }
    bool inserting = skip < 0;
    // As in the wave ticks: a block the engine cannot run now is made up
    // later while the ring still holds enough ahead of the play cursor.
    bool locked = !inserting && EnterForBlock();
    if (!inserting && !locked && aheadFrames > kStarveDepth * kLongFrames) {
      if (!makingUp) OweBlock();
      return;
    }
    bool shortBlock = ahead > delay;
    WaveBuffer* out = NextHeader(*rings_[shortBlock ? kOutShort : kOutLong]);
    if (!out) {
      if (locked) EngineCriticalSection().Leave();
      return;
    }
    WaveBuffer* in = inActive_ ? NextHeader(*rings_[shortBlock ? kInShort : kInLong]) : nullptr;
    ++blocksQueued_;
    if (inActive_) {
      inLeadSum_.fetch_add(InDone() - blocksQueued_);
      inLeadCount_.fetch_add(1);
    }
    outDepthSum_.fetch_add(ahead);
    outDepthCount_.fetch_add(1);
    BeginBlock(out, in, shortBlock);
    if (inserting) {
      skipInsert_.fetch_add(1);
      ClearOutput();
    } else if (locked) {
      // One engine block, copied into the ring's one or two regions: a block
      // split at the ring's end keeps every frame and never writes past it.
      ProcessHeldBlock(shortBlock ? shortEngineBlock_.load() : longEngineBlock_.load());
    } else {
      SkipBlock();
    }
    TDsLockRecord* r = b.lock(currentDeviceBlock_.load());
    const uint8_t* from = reinterpret_cast<const uint8_t*>(out->data);
    size_t firstBytes = size_t(r->firstFrames) * platform::kWaveBytesPerFrame;
    if (r->first) std::memcpy(r->first, from, firstBytes);
    if (r->second) std::memcpy(r->second, from + firstBytes, size_t(r->secondFrames) * platform::kWaveBytesPerFrame);
    b.unlock();
    dsWritten_ = (dsWritten_ + currentDeviceBlock_.load()) % kRingFrames;
    if (in) inDevice_->Queue(in);
    if (inserting) continue;
    if (!locked || !TakeOwedBlock(b.getNumSamplesAhead() / kLongFrames <= delay)) return;
    makingUp = true;
  }
}
