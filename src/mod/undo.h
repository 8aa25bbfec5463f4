// Undo and redo over whole-ensemble snapshots in numbered temporary files.
// Before an undoable change a step writes the ensemble as it is; undo reads
// that snapshot back as the open ensemble after saving the current state for
// redo. The numbers form a ring of UndoMax files.
#pragma once

#include "src/base/str.h"
#include "src/mod/modfile.h"
#include "src/mod/undokind.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class KEnsemble;
class IFileName;

// What undo needs of the files side of its ensemble: the file state that
// snapshots are written with, and opening a snapshot as the open ensemble.
class IUndoFiles : public IFileEnsemble {
public:
  virtual KEnsemble& GetEnsemble() const = 0;
  virtual int32_t OpenEnsemble(const IFileName& name) = 0;
};

class KUndo {
public:

  explicit KUndo(IUndoFiles& files);
  ~KUndo();
  KUndo(const KUndo&) = delete;
  KUndo& operator=(const KUndo&) = delete;

  static bool IsUndoableKind(UndoKind kind);
  static const char* KindName(UndoKind kind);

  // The pending protocol: a step is recorded only when the change happens.
  void SetPendingUndo(UndoKind kind, const void* object, int32_t value);
  void CommitPendingUndo();
  void ClearPendingUndo();
  void AddUndoStep(UndoKind kind, const void* object = nullptr, int32_t value = 0);
  // A run of changes to one object records one step.
  void AddUndoStepMerged(UndoKind kind, const void* object, int32_t value);

  bool CanUndo() const;
  bool CanRedo() const;
  void Undo();
  void Redo();

  int32_t GetUndoEnabled() const { return enabled_; }
  void SetUndoEnabled(int32_t on);
  // The number of undos the Preferences offer.
  static constexpr int32_t kUndoMaxLow = 1, kUndoMaxHigh = 100;
  int32_t GetUndoMax() const { return max_; }
  void SetUndoMax(int32_t max);
  // Drops every step (the ensemble was saved, loaded or made new).
  void DeleteAllSteps();
  int32_t GetStepCount() const { return int32_t(steps_.size()); }
  // The snapshot number of a step, newest first (-1 past the end).
  int32_t GetStepSnapshot(int32_t i) const;

  TStr GetUndoText() const;
  TStr GetRedoText() const;
  // Told the two menu texts after every change of the list or the cursor.
  void SetMenuTextSink(std::function<void(const TStr& undo, const TStr& redo)> sink);

  // The temporary folder the snapshot files go to.
  void SetFolder(const TStr& folder) { folder_ = folder; }
  // The file of a snapshot number ("undo%d"; redo files are negative).
  std::unique_ptr<IFileName, void (*)(IFileName*)> SnapshotName(int32_t number) const;
  // Deletes the snapshot files of the ring (the ensemble's teardown).
  void DeleteSnapshotFiles();
  void StoreSettings() const;

private:
  struct TStep {
    UndoKind kind;
    const void* object;
    int32_t snapshot;
    int32_t redo = 0;
  };

  void AddStep(UndoKind kind, const void* object);
  void RemoveStep(size_t i);
  void DropNewerThanCursor();
  void RefreshMenuTexts();
  void WriteSnapshot(int32_t number);
  void OpenSnapshot(int32_t number);

  IUndoFiles& files_;
  std::vector<TStep> steps_; // newest first
  int32_t cursor_ = -1;      // index into steps_, -1: everything undone
  UndoKind pendingKind_ = UndoKind::kNone;
  const void* pendingObject_ = nullptr;
  int32_t pendingValue_ = 0;
  int32_t pendingAdded_ = 0;
  int32_t enabled_;
  int32_t max_;
  int32_t current_ = 0;
  int32_t oldest_ = 0;
  int32_t redoCounter_ = 1;
  bool restoreBehind_ = false; // the newest step's number did not reach the settings
  TStr folder_;
  std::function<void(const TStr&, const TStr&)> sink_;
};
