// The module tree: every node of an ensemble's structure, its children, its
// ports, and the structure-change bracket that every edit runs in.
#pragma once

#include "src/base/area.h"
#include "src/base/base.h"
#include "src/base/str.h"
#include "src/mod/port.h"

#include <atomic>
#include <cstdint>
#include <memory>

class IAudioInOut;
class TAudioInOut;
class KInstr;
class KSModul;
struct TEngineRecord;

// What a module tree needs of the ensemble that owns it.
class KModelHost {
public:
  virtual ~KModelHost() = default;
  // The active audio driver (may be null).
  virtual IAudioInOut* GetAudio() const = 0;
  virtual KSModul* GetTopModule() const = 0;
  // The ensemble's Audio In and Audio Out modules (null when absent).
  virtual KSModul* GetAudioInModule() const = 0;
  virtual KSModul* GetAudioOutModule() const = 0;
  // The next serial number of a new module.
  virtual int32_t TakeSerialNo() = 0;
  // A module of the tree is being destroyed: forget any reference to it.
  virtual void ModuleGone(KSModul* module) { (void)module; }
};

class KSModul : public TBase {
public:
  static constexpr int32_t kMaxChildren = 99;

  KSModul(KModelHost* host, KSModul* parent);
  ~KSModul() override;
  KSModul(const KSModul&) = delete;
  KSModul& operator=(const KSModul&) = delete;

  // Type.
  int32_t GetCategory() const { return category_; }
  void SetCategory(int32_t category) { category_ = category; }
  int32_t GetTypeIndex() const { return type_; }
  void SetTypeIndex(int32_t type) { type_ = type; }
  bool IsType(int32_t category, int32_t type) const { return category_ == category && type_ == type; }
  bool IsCategory(int32_t category) const { return category_ == category; }
  bool IsTypeIndex(int32_t type) const { return type_ == type; }
  bool IsMacroOrInstrument() const { return category_ == kCatMacro || category_ == kCatInstrument; }
  // Categories the engine processes (modules, sources, switches).
  bool IsProcessedCategory() const {
    return category_ == kCatModule || category_ == kCatSource || category_ == kCatSwitch;
  }
  const KModulDef* GetTypeDef() const;

  KModelHost* GetHost() const { return host_; }
  KSModul* GetParent() const { return parent_; }
  KSModul* GetTop();
  const TStr& GetLabel() const { return label_; }
  void SetLabel(const TStr& label) { label_ = label; }
  const TStr& GetHelp() const { return help_; }
  void SetHelp(const TStr& help) { help_ = help; }
  int32_t GetSerialNo() const { return serialNo_; }

  // Children.
  int32_t GetChildCount() const { return childCount_; }
  KSModul* GetChild(int32_t i) const { return i >= 0 && i < childCount_ ? children_[i] : nullptr; }
  int32_t GetChildIndex(const KSModul* child) const;
  // Makes a child of the type (not yet added); null when 99 children exist.
  KSModul* CreateChild(int32_t category, int32_t type);
  KSModul* GetNewChild() const { return newChild_; }
  // Adds the child made by CreateChild. Position modes: 1 structure insert,
  // 2 panel insert, 3 Audio Out, 4 Audio In. Null when refused (the refused
  // child is destroyed).
  KSModul* AddCreatedChild(int32_t mode);
  KSModul* InsertModule(int32_t category, int32_t type, int32_t mode);
  // Deletes a module anywhere below this node.
  void DeleteChild(KSModul* module, bool keepWindow = false);
  // Makes the pointers of wires recorded only by numbers (children read from a file).
  void ConnectChildWires();

  // Ports.
  int32_t GetInPortCount() const { return inCount_; }
  int32_t GetOutPortCount() const { return outCount_; }
  KInPort* GetInPort(int32_t i) const { return i >= 0 && i < inCount_ ? in_[i] : nullptr; }
  KOutPort* GetOutPort(int32_t i) const { return i >= 0 && i < outCount_ ? out_[i] : nullptr; }
  int32_t GetInPortIndex(const KInPort* port) const;
  int32_t GetOutPortIndex(const KOutPort* port) const;
  KInPort* AddInPort();
  KOutPort* AddOutPort();
  int32_t GetTerminalNo() const { return terminalNo_; }
  void SetTerminalNo(int32_t n) { terminalNo_ = n; }
  // The first child that is an in (out) terminal with this port number.
  KSModul* FindInTerminal(int32_t portNo) const;
  KSModul* FindOutTerminal(int32_t portNo) const;

  // Type application.
  void ApplyTypeDef(const KModulDef* def);
  void ApplyTypeState(const KModulDef* def, bool addToPanel);
  // Marks the Audio In and Audio Out channels the driver lacks and rebuilds.
  void ApplyDriverChannels();
  // Marks this Audio In's or Audio Out's ports for the channels the driver has.
  void MarkDriverChannels();

  // Processing.
  TEngineRecord* GetEngineRecord() const { return record_; }
  void SetEngineRecord(TEngineRecord* record) { record_ = record; }
  int32_t GetEventOutputCount() const { return eventOutputs_; }
  int32_t GetAudioInputCount() const { return audioInputs_; }
  int32_t GetStateWordCount() const { return stateWords_; }
  void SetStateSizes(int32_t eventOutputs, int32_t audioInputs, int32_t stateWords) {
    eventOutputs_ = eventOutputs;
    audioInputs_ = audioInputs;
    stateWords_ = stateWords;
  }
  // 1 for a mono module, else its instrument's voice count.
  int32_t GetEngineVoiceCount() const;
  int32_t GetParamWord(int i) const { return params_[i]; }
  void SetParamWord(int i, int32_t value) { params_[i] = value; }
  int32_t GetSourceWord(int i) const { return sources_[i]; }
  void SetSourceWord(int i, int32_t value) { sources_[i] = value; }
  // The control-value mark: event routines set it to 1 after storing a new
  // value (any thread); the panel refresh redraws the module's graph and
  // clears it.
  void SetCtrlValue(int32_t value) { ctrlValue_.store(value, std::memory_order_relaxed); }
  int32_t GetCtrlValue() const { return ctrlValue_.load(std::memory_order_relaxed); }

  bool IsMono() const { return mono_ != 0; }
  void SetMonoFlag(bool mono) { mono_ = mono ? 1 : 0; }
  KInstr* GetInstr() const { return instr_; }
  // For an instrument module the instrument of its parent, else its own.
  KInstr* GetOwnerInstr() const;
  KInstr* GetOwnInstr() const { return ownInstr_.get(); }
  // An instrument module (and the top node) runs its children in an
  // instrument of its own.
  void CreateOwnInstr();

  // Flags.
  bool IsMuted() const { return TestFlag(kFlagMuted); }
  bool IsOutsideProcessing() const { return TestFlag(kFlagOutside); }
  bool IsInactive() const { return IsMuted() || IsOutsideProcessing(); }
  bool IsSolo() const { return TestFlag(kFlagSolo); }
  void SetSoloFlag(bool on) { SetFlag(kFlagSolo, on); }
  // Sets the muted flag alone: the engine mutes the module that takes its last
  // routine slot while it is setting the module up.
  void MarkMuted() { SetFlag(kFlagMuted, true); }
  void Mute();
  void Unmute();
  void PrepareMute();

  // Positions.
  TPnt GetPos() const { return pos_; }
  void SetPos(TPnt p) { pos_ = p; }
  void SetNextInsertPos(TPnt p) { nextInsert_ = p; }
  TArea GetStructWndArea() const { return structArea_; }
  void SetStructWndArea(const TArea& area) { structArea_ = area; }

  // The structure-change bracket. Brackets nest; the outermost begin takes
  // the engine lock and takes the connections out of the engine, the
  // outermost end rebuilds processing and releases the lock.
  void BeginStructureChange();
  void EndStructureChange();
  static int32_t GetBracketDepth();
  // Shows a message now, or after the outermost bracket closes when one is open.
  static void ShowModelMessage(TParamStr& message);

  void UpdateProcessing();
  void ResolveAllConnections();
  void DetachFromEngine();
  void AttachToEngine();
  void ResetRecursive();
  // Takes the engine routes of the subtree's in-ports out (the bracket's begin).
  void UnresolveAll();
  void UpdatePolyConflicts();

  // Update-pass steps (used by the ports).
  bool WalkBackward(bool trial);
  bool FeedsSink();

private:
  friend class KInPort;
  friend class KOutPort;

  enum : uint32_t {
    kFlagMuted = 1u << 0,
    kFlagOutside = 1u << 3,
    kFlagNotNeeded = 1u << 4,
    kFlagSolo = 1u << 29,
  };
  bool TestFlag(uint32_t f) const { return (flags_ & f) != 0; }
  void SetFlag(uint32_t f, bool on) { flags_ = on ? (flags_ | f) : (flags_ & ~f); }

  IAudioInOut* Audio() const;
  TAudioInOut* Driver() const;
  bool IsSink() const;
  bool IsDisplayOrMidiSink() const;
  void ForEach(void (*step)(KSModul*));
  void PrepareInEngine();
  void ReleaseFromEngine();
  void StartEventInputs();
  void RemoveChildAt(int32_t i);
  void DestroyInPort(int32_t number);
  void DestroyOutPort(int32_t number);
  bool DeleteBelow(KSModul* module, bool keepWindow);

  KModelHost* host_;
  KSModul* parent_;
  KInPort* in_[kMaxPorts] = {};
  KOutPort* out_[kMaxPorts] = {};
  KSModul* children_[kMaxChildren + 1] = {};
  TEngineRecord* record_ = nullptr;
  KInstr* instr_ = nullptr;
  std::unique_ptr<KInstr> ownInstr_;
  TPnt pos_{0, 0};
  int32_t terminalNo_ = 0;
  int32_t inCount_ = 0;
  int32_t outCount_ = 0;
  int32_t eventOutputs_ = 0;
  int32_t audioInputs_ = 0;
  int32_t stateWords_ = 0;
  int32_t childCount_ = 0;
  int32_t mono_ = 0;
  TStr label_{"Ensemble"};
  TStr help_{"Top level instrument, containing all other modules and instruments."};
  TPnt nextInsert_{8, 8};
  TPnt nextInstrPanelInsert_{8, 8};
  TPnt nextEnsPanelInsert_{8, 8};
  uint32_t flags_;
  KSModul* newChild_ = nullptr;
  int32_t ctrlStyle_ = 0;
  int32_t currentValue_ = 0;
  TPnt instrPanelPos_{0, 0};
  TPnt ensPanelPos_{8, 8};
  int32_t category_ = kCatMacro;
  int32_t type_ = 0;
  int32_t visited_[2] = {0, 0};
  int32_t serialNo_ = 0;
  TArea structArea_{0, 0, 450, 300};
  int32_t params_[4] = {};
  int32_t sources_[3] = {};
  std::atomic<int32_t> ctrlValue_{0};
};

// Holds a structure-change bracket for a scope.
class TStructureChange {
public:
  explicit TStructureChange(KSModul* module) : module_(module) { module_->BeginStructureChange(); }
  ~TStructureChange() { module_->EndStructureChange(); }
  TStructureChange(const TStructureChange&) = delete;
  TStructureChange& operator=(const TStructureChange&) = delete;

private:
  KSModul* module_;
};
