// The module tree: every node of an ensemble's structure, its children, its
// ports, and the structure-change bracket that every edit runs in.
#pragma once

#include "src/base/area.h"
#include "src/base/base.h"
#include "src/base/str.h"
#include "src/base/tools.h"
#include "src/engine/engine_module.h"
#include "src/mod/moddata.h"
#include "src/mod/port.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class IAudioInOut;
class TAudioInOut;
class KInstr;
class KSModul;
class IMidiInOut;
class IFileName;
class IAudioFileMap;
class IDelayBuffer;
class IRecordBuffer;
class KModulAudio;
class IFileEnsemble;
class IModelWindows;
enum class UndoKind : int32_t;
class IModelWnd;
class IModelView;
struct TEngineRecord;

// Where a new child is placed in the structure window.
enum : int32_t {
  kPlaceNext = 1,        // the next free place of a structure insert
  kPlaceNextPanel = 2,   // the same, for an insert from a panel
  kPlaceAudioOut = 3,    // the right edge, where an Audio Out sits
  kPlaceAudioIn = 4,     // the left edge, where an Audio In sits
};

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
  // The ensemble's MIDI driver (null: none).
  virtual IMidiInOut* GetMidi() const { return nullptr; }
  // Hands work to the GUI thread. Called from the MIDI thread with the engine
  // mutex held; never waits. Every host says where its tasks go: a task that
  // vanished would leave its module waiting for it for ever.
  virtual void PostToGui(std::function<void()> task) = 0;
  // The panel views of a module must show its new control value.
  virtual void UpdateCtrlViews(KSModul* module) { (void)module; }
  // A switch moved on another thread (the engine's mutex held, where nothing
  // may allocate) has marked itself: its inputs are to be selected again on
  // the GUI thread. This host hands the work over as a task; an ensemble
  // finds the marked switches in its idle step.
  virtual void RequestSwitchRebuild(KSModul* module);
  // The ensemble changed in a way the user may want to save.
  virtual void MarkModified() {}
  // Whether the caller runs on the GUI thread (the model's own thread).
  virtual bool IsGuiThread() const { return true; }
  // An instrument is being destroyed: forget any reference to it.
  virtual void InstrGone(KInstr* instr) { (void)instr; }
  // Records an undo step of a kind before the change it undoes (nothing
  // without an undo list).
  virtual void AddUndoStep(UndoKind kind, const void* object) {
    (void)kind;
    (void)object;
  }
  // The ensemble state that reading a module file touches (null: files
  // cannot be read into this tree).
  virtual IFileEnsemble* GetFileEnsemble() { return nullptr; }
  // The windows that show the tree (null: none, as in tests and tools).
  virtual IModelWindows* GetWindows() const { return nullptr; }
  // A command is about to change the ensemble: the undo step its handler
  // prepared is recorded now.
  virtual void CommitPendingUndo() {}
  // An instrument's mute, solo, panel lock or MIDI learn switch changed:
  // whoever shows them follows. Any thread; it only posts.
  virtual void InstrumentStateChanged() {}
};

// "1.2.3" for a file format version (200 is "2.0.4").
TStr FormatFileVersion(int32_t version);

// A module owns its instrument and its audio objects, whose classes stand on
// the module: the files that define them say how one is destroyed.
struct KInstrDelete {
  void operator()(KInstr* instr) const;
};
struct KModulAudioDelete {
  void operator()(KModulAudio* audio) const;
};

class KSModul final : public TBase, public IEngineModule {
public:
  static constexpr int32_t kMaxChildren = 99;

  KSModul(KModelHost* host, KSModul* parent);
  ~KSModul() override;
  KSModul(const KSModul&) = delete;
  KSModul& operator=(const KSModul&) = delete;
  // The module behind an engine record: every module the engine knows is one.
  static KSModul* Of(IEngineModule* module) { return static_cast<KSModul*>(module); }

  // Type.
  int32_t GetCategory() const override { return category_; }
  void SetCategory(int32_t category) { category_ = category; }
  int32_t GetTypeIndex() const override { return type_; }
  void SetTypeIndex(int32_t type) { type_ = type; }
  bool IsType(int32_t category, int32_t type) const override { return category_ == category && type_ == type; }
  TModuleType GetType() const { return {category_, type_}; }
  bool IsType(TModuleType type) const { return IsType(type.category, type.type); }
  bool IsCategory(int32_t category) const override { return category_ == category; }
  bool IsTypeIndex(int32_t type) const override { return type_ == type; }
  bool IsMacroOrInstrument() const { return category_ == kCatMacro || category_ == kCatInstrument; }
  // The modules whose sound comes from a file: tapedecks and the sampler family.
  bool IsTapedeck() const;
  bool IsSamplerFamily() const;
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
  // Adds the child made by CreateChild at the place the mode names
  // (kPlace...). Null when refused (the refused child is destroyed).
  KSModul* AddCreatedChild(int32_t mode);
  KSModul* InsertModule(int32_t category, int32_t type, int32_t mode, bool withUndo = false);
  KSModul* InsertModule(TModuleType type, int32_t mode, bool withUndo = false) {
    return InsertModule(type.category, type.type, mode, withUndo);
  }
  // Makes a child from an instrument or macro file (not yet added); null
  // when 99 children exist or the file could not be read (the reader showed
  // why).
  KSModul* CreateChildFromFile(const IFileName& name);
  // Inserts an instrument or macro file as a new child that remembers the file.
  KSModul* InsertModuleFile(const IFileName& name, int32_t mode, bool withUndo = false);
  // The file a macro or instrument was read from (empty for others).
  const IFileName& GetFileName() const { return *fileName_; }
  void SetFileName(const IFileName& name);
  // Deletes a module anywhere below this node.
  void DeleteChild(KSModul* module, bool keepWindow = false);
  // Makes the pointers of wires recorded only by numbers (children read from a file).
  void ConnectChildWires();

  // Ports.
  int32_t GetInPortCount() const override { return inCount_; }
  int32_t GetOutPortCount() const { return outCount_; }
  KInPort* GetInPort(int32_t i) const { return i >= 0 && i < inCount_ ? in_[i] : nullptr; }
  KOutPort* GetOutPort(int32_t i) const { return i >= 0 && i < outCount_ ? out_[i] : nullptr; }
  int32_t GetInPortIndex(const KInPort* port) const;
  int32_t GetOutPortIndex(const KOutPort* port) const;
  KInPort* AddInPort();
  KOutPort* AddOutPort();
  int32_t GetTerminalNo() const { return terminalNo_; }
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
  TEngineRecord* GetEngineRecord() const override { return record_; }
  void SetEngineRecord(TEngineRecord* record) override { record_ = record; }
  int32_t GetEventOutputCount() const override { return eventOutputs_; }
  int32_t GetAudioInputCount() const override { return audioInputs_; }
  int32_t GetStateWordCount() const override { return stateWords_; }
  void SetStateSizes(int32_t eventOutputs, int32_t audioInputs, int32_t stateWords) {
    eventOutputs_ = eventOutputs;
    audioInputs_ = audioInputs;
    stateWords_ = stateWords;
  }
  // 1 for a mono module, else its instrument's voice count.
  int32_t GetEngineVoiceCount() const override;
  // A lamp's first two settings are its range, the display routine's low and
  // high thresholds: those words are the bits of its minimum and maximum.
  int32_t GetParamWord(int i) const override;
  void SetParamWord(int i, int32_t value) override;
  int32_t GetSourceWord(int i) const override { return sources_[i]; }
  void SetSourceWord(int i, int32_t value) override { sources_[i] = value; }
  // The control-value mark: event routines set it to 1 after storing a new
  // value (any thread); the panel refresh redraws the module's graph and
  // clears it.
  void SetCtrlValue(int32_t value) override { ctrlValue_.store(value, std::memory_order_relaxed); }
  int32_t GetCtrlValue() const override { return ctrlValue_.load(std::memory_order_relaxed); }

  bool IsMono() const { return mono_ != 0; }
  void SetMonoFlag(bool mono) { mono_ = mono ? 1 : 0; }
  KInstr* GetInstr() const { return instr_; }
  const IEngineInstr* GetEngineInstr() const override;
  // For an instrument module the instrument of its parent, else its own.
  KInstr* GetOwnerInstr() const;
  KInstr* GetOwnInstr() const { return ownInstr_.get(); }
  // An instrument module (and the top node) runs its children in an
  // instrument of its own.
  void CreateOwnInstr();

  // Flags.
  bool IsMuted() const override { return TestFlag(kFlagMuted); }
  bool IsOutsideProcessing() const { return TestFlag(kFlagOutside); }
  bool IsInactive() const { return IsMuted() || IsOutsideProcessing(); }
  bool IsSolo() const { return TestFlag(kFlagSolo); }
  void SetSoloFlag(bool on) { SetShownFlag(kFlagSolo, on); }
  // Sets the muted flag alone: the engine mutes the module that takes its last
  // routine slot while it is setting the module up.
  void MarkMuted() override { SetFlag(kFlagMuted, true); }
  void Mute() override;
  void Unmute() override;
  void PrepareMute();

  // Positions.
  TPnt GetPos() const { return pos_; }
  void SetPos(TPnt p) { pos_ = p; }
  void SetNextInsertPos(TPnt p) { nextInsert_ = p; }
  TPnt GetNextInsertPos() const { return nextInsert_; }
  // The next spots for a control on this instrument node's panel and on the
  // ensemble panel; each insert moves them by (16, 16).
  TPnt GetNextInstrPanelInsertPos() const { return nextInstrPanelInsert_; }
  void SetNextInstrPanelInsertPos(TPnt p) { nextInstrPanelInsert_ = p; }
  TPnt GetNextEnsPanelInsertPos() const { return nextEnsPanelInsert_; }
  void SetNextEnsPanelInsertPos(TPnt p) { nextEnsPanelInsert_ = p; }
  // The instrument node whose panel shows this node's children (the top node
  // when there is no instrument).
  KSModul* GetPanelNode();
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
  void ResetRecursive() override;
  // Takes the engine routes of the subtree's in-ports out (the bracket's begin).
  void UnresolveAll();
  void UpdatePolyConflicts();

  // ---- Settings a file keeps for windows, driver modules and the sync
  // source (made on first use)
  KModulData* GetData() const { return data_.get(); }
  KModulData& Data();
  uint32_t GetFlagsWord() const { return flags_; }

  // ---- Queries over the tree
  int32_t GetRecordVersion() const { return recordVersion_; }
  // 1 when the module sits in the top node, looking through macros.
  int32_t IsInTopLevel() const;
  KSModul* FindBySerialNo(int32_t serial);
  // The next instrument module (after `after` in tree order, or the first
  // when null) that allows automatic voice reduction and runs 2 voices or more.
  KSModul* FindReducibleInstr(KSModul* after);
  // Calls fn for this module and every module below it, in tree order.
  void Walk(const std::function<void(KSModul*)>& fn);

  // ---- Mono and poly, solo, selection
  void SetMono();
  void SetPoly();
  void Solo();
  void Unsolo();
  void UnsoloAll();
  // After a load: no solo survives, and no out-port stays marked unavailable
  // by a solo that is gone (only the Audio In marks stand for the driver).
  void ClearStaleSolo();
  bool IsSelected() const { return selected_ != 0; }
  void Select();
  void Deselect();
  void DeselectAll();
  // Selected and shown on that panel (ensemble or instrument panel), itself
  // or through the macros it sits in (up to its instrument).
  bool IsSelectedInPanel(bool ensPanel) const;
  KSModul* GetSingleSelected();
  KInstr* GetSelectedInstrument();

  // ---- Control words and panel presence
  // The control's redraw flag: 1 while a redraw of its views is on its way
  // to the GUI thread. Any thread may set it; the GUI thread clears it when
  // it handles the redraw.
  int32_t GetCtrlState() const override { return ctrlState_.load(std::memory_order_relaxed); }
  void SetCtrlState(int32_t value) { ctrlState_.store(value, std::memory_order_relaxed); }
  // Sets the flag; true when it was clear (the caller sends the one redraw).
  bool MarkCtrlState() { return ctrlState_.exchange(1, std::memory_order_acq_rel) == 0; }
  static constexpr int32_t kMaxPanelModules = 400;
  int32_t GetPanelModuleCount() const { return panelCount_; }
  KSModul* GetPanelModule(int32_t i) const;
  void AddPanelModule(KSModul* module);
  void RemovePanelModule(KSModul* module);
  bool IsLabelShown() const { return !TestFlag(kFlagLabelHidden); }
  // The appearance setters have both control views rebuild.
  void SetLabelShown(bool on) {
    SetFlag(kFlagLabelHidden, !on);
    RebuildOwnCtrlViews();
  }
  bool IsValueShown() const { return !TestFlag(kFlagValueHidden); }
  void SetValueShown(bool on) {
    SetFlag(kFlagValueHidden, !on);
    RebuildOwnCtrlViews();
  }
  bool IsSmallDesign() const { return TestFlag(kFlagSmall); }
  void SetSmallDesign(bool on) {
    SetFlag(kFlagSmall, on);
    RebuildOwnCtrlViews();
  }
  int32_t GetCtrlStyle() const override { return ctrlStyle_; }
  void SetCtrlStyle(int32_t style);
  TPnt GetInstrCtrlPos() const { return instrPanelPos_; }
  void SetInstrCtrlPos(TPnt p) { instrPanelPos_ = p; }
  TPnt GetEnsCtrlPos() const { return ensPanelPos_; }
  void SetEnsCtrlPos(TPnt p) { ensPanelPos_ = p; }
  bool IsVisibleInInstr() const { return TestFlag(kFlagVisibleInInstr); }
  // Each stores the flag; with the panel open the control appears on it or
  // goes from it.
  void SetVisibleInInstr(bool on);
  bool IsVisibleInEns() const { return TestFlag(kFlagVisibleInEns); }
  void SetVisibleInEns(bool on);
  bool IsPanelLocked() const { return TestFlag(kFlagPanelLocked); }
  void SetPanelLocked(bool on) { SetShownFlag(kFlagPanelLocked, on); }
  TPnt GetDisplaySize() const { return displaySize_; }
  // Both sizes are cut to multiples of 4; the display buffer is made anew.
  void SetDisplaySize(TPnt size);
  float* GetDisplayBuffer();
  int32_t GetDisplayBufferSize() const { return int32_t(displayBuffer_.size()); }
  void ClearDisplayBuffer();

  // ---- Remote control and MIDI (switches, faders and buttons)
  bool IsPanelControl() const {
    return category_ == kCatSwitch || IsType(kTypeFader) || IsType(kTypeButton);
  }
  bool IsRemote() const { return TestFlag(kFlagRemote); }
  void SetRemote(bool on);
  int32_t GetRemoteKind() const override { return int32_t((flags_.load(std::memory_order_relaxed) >> 11) & 3u); }
  void SetRemoteKind(int32_t kind);
  bool IsPanelToMidiOut() const override { return TestFlag(kFlagPanelToMidi); }
  // These settings are read by the MIDI thread: set under the engine's mutex.
  void SetPanelToMidiOut(bool on);
  bool IsRemoteToMidiOut() const override { return TestFlag(kFlagRemoteToMidi); }
  void SetRemoteToMidiOut(bool on);
  bool IsIncremental() const override { return TestFlag(kFlagIncremental); }
  void SetIncremental(bool on);
  int32_t GetControllerNo() const { return params_[2]; }
  void SetControllerNo(int32_t number);
  double GetStepSize() const { return stepSize_; }
  void SetStepSize(float size) { stepSize_ = size; }
  // The mark the panel sets on the control that MIDI learn assigns next.
  bool IsLearnMarked() const { return learnMark_ != 0; }
  void SetLearnMark(bool on) { learnMark_ = on ? 1 : 0; }
  bool IsAutoVoiceReduction() const { return TestFlag(kFlagAutoReduce); }
  void SetAutoVoiceReduction(bool on) { SetFlag(kFlagAutoReduce, on); }
  // Soft takeover: an incoming controller moves the control only once it
  // passes the control's position. One word of the module holds it: the
  // parameter word the engine's handlers read as the pick-up flag, which the
  // module's dialog and the instrument's setting both write and files keep
  // as the control's MIDI mode word. While the module runs, its record's
  // copy is the current one.
  bool IsSoftTakeover() const;
  // Read by the MIDI thread: set under the engine's mutex.
  void SetSoftTakeover(bool on);

  // ---- Window records
  int32_t GetPanelWndState() const { return panelWndState_; }
  void SetPanelWndState(int32_t s) { panelWndState_ = s; }
  TPnt GetPanelWndPos() const { return panelWndPos_; }
  void SetPanelWndPos(TPnt p) { panelWndPos_ = p; }
  TArea GetPanelWndArea() const { return panelWndArea_; }
  void SetPanelWndArea(const TArea& a) { panelWndArea_ = a; }
  int32_t GetStructWndState() const { return structWndState_; }
  void SetStructWndState(int32_t s) { structWndState_ = s; }
  TPnt GetStructWndPos() const { return structWndPos_; }
  void SetStructWndPos(TPnt p) { structWndPos_ = p; }

  // ---- Class-wide settings and backups
  static int32_t GetCreateBackups();
  static void SetCreateBackups(int32_t on);
  static int32_t GetReloadLastEns();
  static void SetReloadLastEns(int32_t on);
  static void StoreSettings();
  // Before a file is overwritten: with backups on, the old file becomes
  // "Backup of " + its name (an older backup goes); without, a stale backup
  // is removed. Errors of either are not reported.
  static void MakeBackup(IFileName* file);
  static void RemoveBackup(IFileName* file);

  // ---- Control values
  static constexpr int32_t kSteps = 128;
  float GetMinimum() const { return minimum_; }
  float GetMaximum() const { return maximum_; }
  int32_t GetMidiLower() const { return midiLower_; }
  int32_t GetMidiUpper() const { return midiUpper_; }
  bool HasValueTable() const { return valueTable_ != nullptr; }
  // Table value at a step (0 without a table).
  float GetTableValue(int32_t step) const;
  void SetControlRange(float minimum, int32_t lower, float maximum, int32_t upper, float stepSize);
  void SetControlValue(float value);
  void SetControlStep(int32_t step);
  int32_t GetControlStep() const;
  int32_t StepControl(int32_t delta) const;
  float GetControlValue() const;
  void RefreshControlOutput();
  // Sends a control's new position to MIDI out, by its remote kind.
  void NotifyOwner(int32_t value) override;
  bool IsSnapIsolate() const { return snapIsolate_ != 0; }
  void SetSnapIsolate(bool on);
  // Snapshots: whether the module keeps a snapshot step table.
  bool IsSnapControl() const {
    return IsPanelControl() || IsType(kTypeController) || IsType(kTypeSelectedPolyPressure);
  }
  int32_t GetSnapStep(int32_t i) const;
  void StoreSnapValues(KInstr* instr, int32_t i);
  int32_t GetCurrentSnap() const { return currentSnap_; }
  void SetCurrentSnap(int32_t number) { currentSnap_ = number; }
  // Marks a switch's in-ports for its step: the followed one is selected.
  void SelectSwitchInputs(int32_t step);
  // A rebuild of the switch's inputs was asked for from another thread:
  // true once, clearing the mark.
  bool TakeSwitchRebuild();
  // Selects the inputs by the control step in a structure change and
  // redraws the control (GUI thread).
  void RebuildSwitchInputs();
  // The switch's step changed outside the GUI thread's own path: its inputs
  // follow the step and processing is rebuilt, at once on the GUI thread,
  // else through a task posted to it.
  void RequestSwitchInputs() override;
  // Sets up the control tables and default ranges a new module of a panel
  // or MIDI source type needs.
  void InitControlTables();

  // ---- Audio objects and sampler settings (the sampler, delay and tape
  // deck types own a sample map, a delay buffer or a record buffer)
  IAudioFileMap* GetSampleMap() const override;
  IDelayBuffer* GetDelayBuffer() const override;
  IRecordBuffer* GetRecordBuffer() const override;
  // Makes the audio object the type needs when it is missing.
  void CreateAudioObjects();
  // The default maximum of the delay, tape deck and sampler types.
  void SetAudioRangeMaximum();
  // The delay buffer length in ms (delay types), a tape deck's sound length
  // in seconds: the maximum of the control range.
  void SetRangeMaximum(float maximum) { maximum_ = maximum; }
  int32_t GetQuality() const { return int32_t((flags_ >> 13) & 3u); }
  void SetQuality(int32_t quality);
  bool IsLoopOn() const { return TestFlag(kFlagLoop); }
  void SetLoopOn(bool on);
  int32_t GetDirection() const { return int32_t((flags_ >> 16) & 3u); }
  void SetDirection(int32_t direction);
  bool IsOscilMode() const override { return TestFlag(kFlagOscil); }
  void SetOscilMode(bool on);
  bool IsBackupSound() const { return TestFlag(kFlagBackupSound); }
  void SetBackupSound(bool on) { SetFlag(kFlagBackupSound, on); }
  // Voice set-up and routine choice after the sound, the quality or the
  // voices changed (sampler types and "Demux"), the delay lines changed
  // (delay types), or the recording changed (tape decks).
  void UpdateSampleRoutine();
  void UpdateBufferRoutine();
  void RefreshSampleData();
  // The one of the three that fits the type; the engine's set-up calls it.
  void RefreshAudioRoutine();
  // The audio commands of the menus and the queries that enable them.
  void LoadAudio();
  void ReloadAudio();
  void AudioAction();
  void ExportAudio();
  int32_t HasAudio() const;
  int32_t HasAudio2() const;
  // Processor load in percent: a module with children the sum of theirs, a
  // processed module its routine slot's usage while the driver measures
  // slots, any other 0. The last result is kept.
  float UpdateCpuLoad(bool measure);
  float GetCpuLoad() const { return cpuLoad_; }

  // Update-pass steps (used by the ports).
  bool WalkBackward(bool trial);
  bool FeedsSink();

  // ---- Windows and views (nothing happens without windows)
  // The box in the parent's structure window, made in the given one.
  void CreateView(IModelWnd* structWnd);
  IModelView* GetBoxView() const { return boxView_; }
  // The wires at this module's handles get views or follow the handles.
  void ShowWires();
  // The views of every wire between this node's children go (its structure
  // window closes).
  void DropChildWireViews();
  IModelWnd* GetPanelWnd() const { return panelWnd_; }
  IModelWnd* GetStructWnd() const { return structWnd_; }
  // Opens the panel window, or brings the open one to the front.
  void OpenPanel(bool recordUndo);
  // Opens the structure window, or brings the open one to the front; an
  // instrument that hides its structure says so and opens nothing.
  void OpenStructure();
  // On the top node after a load: the windows stored open reopen in the
  // order of their opening numbers.
  void ReopenWindows();
  void UpdateLibraryMenus(bool check);
  void RefreshAllStructWnds();
  void BringPanelsToFront();
  void CloseAllPanels();
  void CloseAllStructWnds();
  // The window code tells the module that the user closed a window or that
  // a box went away with its window.
  void PanelWndClosed() { panelWnd_ = nullptr; }
  void StructWndClosed() { structWnd_ = nullptr; }
  void BoxViewGone() { boxView_ = nullptr; }
  // Panel controls; without a real view a module has none (null).
  IModelView* GetInstrCtrlView() const { return instrCtrlView_; }
  IModelView* GetEnsCtrlView() const { return ensCtrlView_; }
  bool HasInstrCtrlView() const { return instrCtrlView_ != nullptr; }
  bool HasEnsCtrlView() const { return ensCtrlView_ != nullptr; }
  // Entry i of this instrument node's panel module list takes the view.
  void AttachInstrCtrlView(int32_t i, IModelView* view);
  void AttachEnsCtrlView(int32_t i, IModelView* view);
  // Over the subtree: instrument panel views without entering nested
  // instruments, ensemble panel views over all levels.
  void CreateInstrCtrlViews(IModelWnd* panelWnd);
  void CreateEnsCtrlViews(IModelWnd* panelWnd);
  void ShowInstrCtrlViews();
  void ShowEnsCtrlViews();
  void DestroyInstrCtrlViews();
  void DestroyEnsCtrlViews();
  // The views of the macros (and the instrument) that show this module's
  // value inside them refresh.
  void UpdateCtrlViews();
  // Both views of this module redraw (its step changed) or rebuild (its look
  // changed).
  void UpdateOwnCtrlViews();
  void RebuildOwnCtrlViews();

private:
  friend class KPort;
  friend class KInPort;
  friend class KOutPort;
  friend class KModulFile;
  IModelWindows* Windows() const;
  void DestroyBoxView();
  // Closes the module's windows and destroys its views (it is going).
  void ReleaseWindows();
  // The box and the controls show the selection changed.
  void ShowSelection();
  void ShowInPanel(bool ensPanel, bool on);
  // After a terminal changed this node's ports: its box is made anew.
  void RemakeBox();
  // The panel windows that show this node's children refresh.
  void RefreshPanels();
  // The box redraws (the module went into or out of processing).
  void RedrawBox();
  // The open structure window redraws (a child went).
  void RedrawStructWnd();
  // The module whose instrument this module runs in (null: none).
  KSModul* GetInstrOwner() const;

  enum : uint32_t {
    kFlagMuted = 1u << 0,
    kFlagOutside = 1u << 3,
    kFlagNotNeeded = 1u << 4,
    kFlagLabelHidden = 1u << 6,
    kFlagValueHidden = 1u << 7,
    kFlagPanelLocked = 1u << 8,
    kFlagRemote = 1u << 10,
    kQualityGood = 1u << 13,
    kFlagLoop = 1u << 15,
    kFlagBackupSound = 1u << 18,
    kFlagOscil = 1u << 19,
    // Set on every new module: a button's record then carries its snapshot steps.
    kFlagSnapValues = 1u << 20,
    kFlagPanelToMidi = 1u << 21,
    kFlagIncremental = 1u << 22,
    kFlagSmall = 1u << 23,
    kFlagVisibleInInstr = 1u << 24,
    kFlagVisibleInEns = 1u << 25,
    kFlagRemoteToMidi = 1u << 26,
    kFlagAutoReduce = 1u << 28,
    kFlagSolo = 1u << 29,
  };
  // Entering and leaving processing: the control fields go into the record
  // and the instrument's source lists follow.
  void EnterControl();
  void LeaveControl();
  void FillValueTable(double stepSize);
  void EnsureTables();
  void SendStepValue(float value);
  void ReRegister();
  void SetPortKinds(bool mono);
  void SetMonoState(bool mono);
  static void MarkAudioOutSources(KSModul* out, bool available);
  bool TestFlag(uint32_t f) const { return (flags_.load(std::memory_order_relaxed) & f) != 0; }
  void SetFlag(uint32_t f, bool on) {
    if (on) flags_.fetch_or(f, std::memory_order_relaxed);
    else flags_.fetch_and(~f, std::memory_order_relaxed);
  }
  // A flag the control box shows for an instrument: a change is told.
  void SetShownFlag(uint32_t f, bool on);

  IAudioInOut* Audio() const;
  TAudioInOut* Driver() const;
  bool IsSink() const;
  bool IsDisplayOrMidiSink() const;
  // "Lmp" and the level lamp: their range is their first two settings.
  bool IsLampType() const;
  bool IsMidiOutType() const;
  bool KeepsRangeInParamWords() const;
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
  std::unique_ptr<KInstr, KInstrDelete> ownInstr_;
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
  // Written on the GUI thread, read also by the MIDI thread's handlers.
  std::atomic<uint32_t> flags_;
  KSModul* newChild_ = nullptr;
  int32_t ctrlStyle_ = 0;
  TPnt instrPanelPos_{0, 0};
  TPnt ensPanelPos_{8, 8};
  int32_t category_ = kCatMacro;
  int32_t type_ = 0;
  int32_t visited_[2] = {0, 0};
  int32_t serialNo_ = 0;
  TArea structArea_{0, 0, 450, 300};
  int32_t params_[4] = {};
  int32_t sources_[3] = {};
  // Control range and tables.
  float minimum_ = 0.0f;
  float maximum_ = 1.0f;
  int32_t midiLower_ = 0;
  int32_t midiUpper_ = 127;
  double stepSize_ = 0.0;
  int32_t snapIsolate_ = 0;
  int32_t learnMark_ = 0;
  int32_t recordVersion_ = 0;
  int32_t selected_ = 0;
  int32_t currentSnap_ = 0;
  std::unique_ptr<float[]> valueTable_;
  std::unique_ptr<int32_t[]> snapSteps_;
  std::atomic<int32_t> ctrlValue_{0};
  // A switch moved from another thread has its input rebuild posted once:
  // further moves before the GUI thread gets to it only change the step.
  std::atomic<bool> switchRebuildPosted_{false};
  std::atomic<int32_t> ctrlState_{0};
  std::unique_ptr<KSModul*[]> panelModules_;
  int32_t panelCount_ = 0;
  int32_t panelWndState_ = 0;
  TPnt panelWndPos_{50, 50};
  TArea panelWndArea_{0, 0, 480, 240};
  int32_t structWndState_ = 0;
  TPnt structWndPos_{75, 75};
  TPnt displaySize_{100, 52};
  std::vector<float> displayBuffer_;
  std::unique_ptr<KModulAudio, KModulAudioDelete> audio_;
  float cpuLoad_ = 0.0f;
  std::unique_ptr<KModulData> data_;
  EPtr<IFileName> fileName_;
  IModelView* boxView_ = nullptr;
  IModelWnd* panelWnd_ = nullptr;
  IModelWnd* structWnd_ = nullptr;
  IModelView* instrCtrlView_ = nullptr;
  IModelView* ensCtrlView_ = nullptr;
  bool going_ = false;
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
