// What the audio objects need from the engine, the model and the
// application, behind small interfaces: the owners implement them, tests
// replace them.
#pragma once

#include "src/base/file.h"

// The running audio driver as far as pausing goes. Pauses nest; every Pause
// needs one Resume.
class IAudioPause {
public:
  virtual ~IAudioPause() = default;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
};

// Holds a driver paused for a scope (a null driver is not paused).
class TAudioPauseGuard {
public:
  explicit TAudioPauseGuard(IAudioPause* driver) : driver_(driver) {
    if (driver_) driver_->Pause();
  }
  ~TAudioPauseGuard() {
    if (driver_) driver_->Resume();
  }
  TAudioPauseGuard(const TAudioPauseGuard&) = delete;
  TAudioPauseGuard& operator=(const TAudioPauseGuard&) = delete;

private:
  IAudioPause* driver_;
};

// The module that owns a delay buffer, a record buffer or a sample map.
class IAudioObjectOwner {
public:
  virtual ~IAudioObjectOwner() = default;
  // The delay lines were replaced: the engine's buffer routine must take the new ones.
  virtual void UpdateBufferRoutine() = 0;
  // The record buffer's samples were replaced or resized.
  virtual void UpdateSampleData() = 0;
  // Something audible of the sample map changed.
  virtual void UpdateSampleRoutine() = 0;
  // Whether the module is of the type (category, index).
  virtual int IsType(int category, int index) = 0;
  // Whether the module keeps a backup copy of its sound in the files it is written to.
  virtual int IsBackupSound() = 0;
};

// Process-wide services of the engine and the application.
class IAudioServices {
public:
  virtual ~IAudioServices() = default;
  // The active audio driver, null when there is none.
  virtual IAudioPause* GetAudioDriver() = 0;
  // The engine's current processing rate in Hz.
  virtual float GetProcessingRate() = 0;
  // The folder for temporary files (its folder part counts).
  virtual IFileName* GetTmpDirName() = 0;
  // The outside sample-editing program; the application keeps and stores it.
  virtual IFileName* GetEditorName() = 0;
  // Starts a program directly with one argument; 1 when it started.
  virtual int StartProgram(IFileName& program, const TStr& argument) = 0;
};

// What the stand-in services learn of the engine: its running driver (null:
// none) and its processing rate (0: not set yet).
class IEngineState {
public:
  virtual IAudioPause* GetRunningDriver() = 0;
  virtual float GetEngineRate() = 0;

protected:
  ~IEngineState() = default;
};
// The engine installs its state when it first sets a rate; null detaches it.
void SetEngineState(IEngineState* state);

// The installed services; until an owner installs its own, a stand-in with
// the engine's running driver and rate (without an engine: no driver,
// 44100 Hz), the process-wide temporary folder (TempFolder) and an editor
// name that starts empty; the application sets that name from its settings.
IAudioServices& AudioServices();
// Installs services; nullptr restores the stand-in. Returns the previous ones.
IAudioServices* SetAudioServices(IAudioServices* services);
