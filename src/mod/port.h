// Ports and wires: every module owns up to 20 in-ports and 20 out-ports; a
// wire joins an out-port of one module to an in-port of a sibling.
#pragma once

#include "src/base/str.h"
#include "src/mod/modul_def.h"

#include <cstdint>

class KSModul;
class KOutPort;
class IModelView;
struct TEngineRecord;

constexpr int32_t kMaxPorts = 20;
constexpr int32_t kMaxWires = 20;

inline bool IsPolyKind(int32_t kind) { return kind == kAudioPoly || kind == kEventPoly; }

// What the in-port and the out-port keep alike: owner, signal kind, index in
// the owner's record, label and help text, and the flags they share.
class KPort {
public:
  static constexpr uint8_t kMuted = 0x01, kLabelFollowsDef = 0x02, kInfoFollowsDef = 0x04;

  explicit KPort(KSModul* owner) : owner_(owner) {}
  virtual ~KPort() = default;
  KPort(const KPort&) = delete;
  KPort& operator=(const KPort&) = delete;

  KSModul* GetOwner() const { return owner_; }
  int32_t GetKind() const { return kind_; }
  int32_t GetIndexField() const { return index_; }
  void SetKindAndIndex(int32_t kind, int32_t index) {
    kind_ = kind;
    index_ = index;
  }
  // Takes label, help text, kind and index from a catalogue entry.
  void InitFromDef(const KPortDef& def);
  // The same, keeping a label or help text the user gave.
  void RefreshFromDef(const KPortDef& def);
  void SetKind(const KPortDef& def) { SetKindAndIndex(def.kind, def.index); }

  const TStr& GetLabel() const { return label_; }
  const TStr& GetInfo() const { return info_; }
  bool IsMuted() const { return flags_ & kMuted; }
  uint8_t GetFlags() const { return flags_; }
  // The port's handle on its module's box (kept, never deleted by the port;
  // null until made).
  IModelView* GetView() const { return view_; }
  void CreateView(IModelView* box);
  // The handle went with its box.
  void ViewGone() { view_ = nullptr; }

protected:
  IModelView* view_ = nullptr;
  KSModul* owner_;
  int32_t kind_ = 0;
  int32_t index_ = -1;
  TStr label_;
  TStr info_;
  uint8_t flags_ = 0;
};

class KInPort : public KPort {
public:
  static constexpr uint8_t kPolyConflict = 0x08, kUnavailable = 0x10, kDeselected = 0x20;

  explicit KInPort(KSModul* owner);
  virtual ~KInPort();


  void SetName(const TStr& label);
  void SetInfo(const TStr& info);

  // Wires.
  bool CanConnect(KOutPort* source) const;
  // 1 when the wire is refused (nothing changes), else 0.
  int32_t Connect(KOutPort* source);
  // Makes the wire; false (with a message, nothing changed) when either end is full.
  bool AddWire(KOutPort* source);
  void RemoveWire(KOutPort* source);
  int32_t GetWireCount() const { return wireCount_; }
  KOutPort* GetSource(int32_t i) const { return i >= 0 && i < wireCount_ ? sources_[i] : nullptr; }
  int32_t GetSourceChild(int32_t i) const { return sourceChild_[i]; }
  int32_t GetSourcePort(int32_t i) const { return sourcePort_[i]; }
  // The view of wire i in the open structure window (null: none).
  IModelView* GetWireView(int32_t i) const { return i >= 0 && i < wireCount_ ? wireViews_[i] : nullptr; }
  // Wires without a view get one when the structure window of the port's
  // module is open and both handles exist; the others follow their handles.
  void ShowWireViews();
  // Destroys every wire view of the port (its structure window closes).
  void DropWireViews();
  // Records a wire by the source's numbers only (the file reader); the pointer
  // is made by KSModul::ConnectChildWires.
  bool AddWireRecord(int32_t child, int32_t port);
  // Fills the source pointer of a recorded wire.
  void LinkWire(int32_t i, KOutPort* source) { sources_[i] = source; }
  // Lowers the recorded numbers after a sibling or a port before them went away.
  void RenumberSources(KSModul* removedChild, int32_t childIndex, KSModul* portOwner, int32_t portIndex);

  // The out-ports that really produce this port's signal, through macros,
  // instruments, terminals and switches.
  void CollectSources(KInPort* root);
  int32_t GetCollectedCount() const { return collectedCount_; }
  KOutPort* GetCollected(int32_t i) const { return collected_[i]; }

  void UpdatePolyConflict();
  void Resolve();
  void Unresolve();
  // The out-ports whose signal a solo sends to the Audio Out (null: none).
  static void SetSoloSources(KOutPort* first, KOutPort* second);
  static KOutPort* GetSoloSource(int32_t i);

  void SetMute();
  void ClearMute();
  bool HasPolyConflict() const { return flags_ & kPolyConflict; }
  bool IsUnavailable() const { return flags_ & kUnavailable; }
  void MarkUnavailable() { flags_ |= kUnavailable; }
  void MarkAvailable() { flags_ &= uint8_t(~kUnavailable); }
  // A switch input the switch does not follow at its current step.
  bool IsDeselected() const { return flags_ & kDeselected; }
  void SetDeselected() { flags_ |= kDeselected; }
  void ClearDeselected() { flags_ &= uint8_t(~kDeselected); }
  bool IsIgnored() const { return flags_ & (kMuted | kPolyConflict | kUnavailable | kDeselected); }

  // Position in the owner's in-ports (-1 if absent).
  int32_t GetIndex() const;
  // For a port of a macro or instrument: the child index of its in terminal.
  int32_t FindInTerminal() const;
  // The owner type's entry for this port; null when the type has no fixed
  // entry for it (macros, ports added by terminals).
  const KPortDef* GetDefinition() const;
  // Mono and poly reach through macros: a macro's port and the in terminal
  // inside, an out terminal and its macro's out-port switch together. Other
  // ports keep the kind their type gives them.
  void MakeMono();
  void MakePoly();

  bool ActivateSources(bool trial);
  bool ReachesOutput();

private:
  friend class KOutPort;
  friend class KSModul;
  friend class KModulFile;
  void ApplyToTerminalDestinations(void (KInPort::*step)());
  void SwitchKind(bool mono);
  // Removes the wire without a bracket (teardown).
  void DropWire(KOutPort* source);
  void ResolveOwn();
  void UnresolveOwn();
  void UpdatePolyConflictOwn();

  int32_t wireCount_ = 0;
  KOutPort* sources_[kMaxWires] = {};
  int32_t sourceChild_[kMaxWires];
  int32_t sourcePort_[kMaxWires];
  int32_t collectedCount_ = 0;
  KOutPort* collected_[kMaxWires] = {};
  IModelView* wireViews_[kMaxWires] = {};
};

class KOutPort : public KPort {
public:
  static constexpr uint8_t kUnavailable = 0x08;

  explicit KOutPort(KSModul* owner);
  virtual ~KOutPort();


  void SetLabel(const TStr& label);
  void SetInfo(const TStr& info);

  bool CanConnect(KInPort* destination) const;
  int32_t Connect(KInPort* destination);
  void Disconnect(KInPort* destination);
  void DisconnectAll();
  bool IsFull() const { return destCount_ >= kMaxWires; }
  // Appends a destination; false (with the message) when 20 are recorded.
  bool AddDestination(KInPort* destination);
  void RemoveDestination(KInPort* destination);
  int32_t GetDestinationCount() const { return destCount_; }
  KInPort* GetDestination(int32_t i) const { return i >= 0 && i < destCount_ ? dests_[i] : nullptr; }

  void BuildEventRoutes(TEngineRecord* record, int32_t slot);
  void RemoveEventRoute(KInPort* destination);

  void Mute();
  void Unmute();
  void MarkUnavailable() { flags_ |= kUnavailable; }
  void MarkAvailable() { flags_ &= uint8_t(~kUnavailable); }
  bool IsUnavailable() const { return flags_ & kUnavailable; }
  bool IsMutedOrUnavailable() const { return flags_ & (kMuted | kUnavailable); }

  int32_t GetIndex() const;
  int32_t FindOutTerminal() const;
  const KPortDef* GetDef() const;
  // As the in-port's: a macro's out-port and the out terminal inside, an in
  // terminal and its macro's in-port.
  void MakeMono();
  void MakePoly();

  bool ActivateSources(bool trial);
  bool ReachesOutput();

  // The address of this port's value for one voice of its owner's record, or
  // the zero cell when the owner is not processed.
  float* ValueFor(int32_t voice) const;

private:
  friend class KModulFile;
  void SwitchKind(bool mono);
  int32_t destCount_ = 0;
  KInPort* dests_[kMaxWires] = {};
};
