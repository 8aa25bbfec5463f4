// The files side of the open ensemble: the state its files carry, opening an
// ensemble file as the open ensemble (shared by the application, undo, redo
// and the crash restore), saving, and undo.
#pragma once

#include "src/mod/modfile.h"
#include "src/mod/undo.h"

#include <functional>

class KEnsemble;

class KEnsembleFiles : public IUndoFiles {
public:
  explicit KEnsembleFiles(KEnsemble& ensemble);
  ~KEnsembleFiles() override;
  KEnsembleFiles(const KEnsembleFiles&) = delete;
  KEnsembleFiles& operator=(const KEnsembleFiles&) = delete;

  KEnsemble& GetEnsemble() const override { return ensemble_; }
  KUndo& GetUndo() { return undo_; }

  // IFileEnsemble
  int32_t GetReadState() const override;
  void SetReadState(int32_t state) override;
  bool IsUndoBusy() const override;
  void SetUndoBusy(bool busy) override;
  int32_t GetFileSampleRate() const override;
  void SetFileSampleRate(int32_t hz) override;
  int32_t GetNextSerialNo() const override;
  void SetNextSerialNo(int32_t serial) override;
  KSModul* GetTopModule() const override;
  void GetClock(int32_t& controlRate, bool& sync, float& tempo) const override;
  void SetClock(int32_t controlRate, bool sync, float tempo) override;

  // Reads an ensemble file as the open ensemble: the top module is emptied,
  // the ensemble record and the tree are read, connections resolved, the
  // tune passed down, every module reset and every instrument given its
  // voices. 1 when read; 0 after the error was shown, the ensemble then
  // being an empty top instrument at 33075 Hz.
  int32_t OpenEnsemble(const IFileName& name) override;
  // The same from a stream; path names it in the error's caption.
  int32_t OpenEnsembleStream(TInOut& s, const TStr& path);
  // Writes the ensemble through a temporary file; on success the ensemble
  // is clean. Raises the file layer's error when writing fails.
  void SaveEnsemble(const IFileName& name);
  // Merges a macro file into a macro as one undoable step.
  int32_t ImportModuleFile(KSModul& macro, const IFileName& name);
  // The ensemble's state now is what the user has saved or loaded.
  void MarkClean();

private:
  int32_t Open(const TStr& path, const std::function<TInOut*()>& open, TInOut* given = nullptr);
  void ReadEnsembleStream(TInOut& s);
  void EmptyTop();

  KEnsemble& ensemble_;
  int32_t controlRate_ = 200;
  bool sync_ = false;
  float tempo_ = 120.0f;
  KUndo undo_;
};
