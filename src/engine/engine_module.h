// What the engine needs of the module a record belongs to, and of that
// module's instrument. The model's modules and instruments implement these;
// the engine sees nothing else of the model. Routines call them at set-up
// time, at event rate or from the panel refresh, never per sample.
#pragma once

#include "src/engine/module_types.h"

#include <cstdint>

class IAudioFileMap;
class IDelayBuffer;
class IRecordBuffer;
struct TEngineRecord;

// The MIDI messages a panel control under remote control follows (bits 11-12
// of its flags, as files store them).
enum TRemoteKind : int32_t { kRemoteByController = 0, kRemoteByPolyPressure = 1, kRemoteByNote = 2 };

// The instrument a module plays in, as far as the MIDI sources go.
class IEngineInstr {
public:
  virtual float GetTune() const = 0;
  virtual float GetUnisonSpread() const = 0;

protected:
  ~IEngineInstr() = default;
};

class IEngineModule {
public:
  // Type.
  virtual int32_t GetCategory() const = 0;
  virtual int32_t GetTypeIndex() const = 0;
  virtual bool IsType(int32_t category, int32_t type) const = 0;
  bool IsType(TModuleType type) const { return IsType(type.category, type.type); }
  virtual bool IsCategory(int32_t category) const = 0;
  virtual bool IsTypeIndex(int32_t type) const = 0;

  // The record the engine built for the module (null outside processing).
  virtual TEngineRecord* GetEngineRecord() const = 0;
  virtual void SetEngineRecord(TEngineRecord* record) = 0;
  // Sizes and saved words the record is built from and handed back to.
  virtual int32_t GetEventOutputCount() const = 0;
  virtual int32_t GetAudioInputCount() const = 0;
  virtual int32_t GetStateWordCount() const = 0;
  virtual int32_t GetInPortCount() const = 0;
  // 1 for a mono module, else its instrument's voice count.
  virtual int32_t GetEngineVoiceCount() const = 0;
  virtual int32_t GetParamWord(int i) const = 0;
  virtual void SetParamWord(int i, int32_t value) = 0;
  virtual int32_t GetSourceWord(int i) const = 0;
  virtual void SetSourceWord(int i, int32_t value) = 0;

  // Muting: the block loop mutes the driver modules while the rate changes
  // and marks the module that takes the last routine slot.
  virtual bool IsMuted() const = 0;
  virtual void MarkMuted() = 0;
  virtual void Mute() = 0;
  virtual void Unmute() = 0;
  // Resets the processing state of the module and everything below it.
  virtual void ResetRecursive() = 0;

  // The control-value mark (any thread) and the control state of the panel.
  virtual void SetCtrlValue(int32_t value) = 0;
  virtual int32_t GetCtrlValue() const = 0;
  virtual int32_t GetCtrlState() const = 0;

  // Panel controls under remote control (MIDI thread).
  virtual int32_t GetCtrlStyle() const = 0;
  virtual int32_t GetRemoteKind() const = 0;
  virtual bool IsIncremental() const = 0;
  virtual bool IsPanelToMidiOut() const = 0;
  virtual bool IsRemoteToMidiOut() const = 0;
  // Sends a control's new position to MIDI out, by its remote kind.
  virtual void NotifyOwner(int32_t value) = 0;
  // A switch's step changed off the GUI thread: its inputs follow.
  virtual void RequestSwitchInputs() = 0;
  // The instrument the module plays in (null: none).
  virtual const IEngineInstr* GetEngineInstr() const = 0;

  // The audio objects of the sampler, delay and tape deck types.
  virtual IAudioFileMap* GetSampleMap() const = 0;
  virtual IDelayBuffer* GetDelayBuffer() const = 0;
  virtual IRecordBuffer* GetRecordBuffer() const = 0;
  virtual bool IsOscilMode() const = 0;

protected:
  ~IEngineModule() = default;
};
