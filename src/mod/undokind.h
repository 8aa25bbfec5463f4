// The kinds of undo step, apart from the undo store so that the modules can
// name the step they record without reaching the store and its files.
#pragma once

#include <cstdint>

// What an undo step undoes; its name follows "Undo" and "Redo" in the Edit
// menu. The order is that of the name table in undo.cpp.
enum class UndoKind : int32_t {
  kChangeSampleRate,
  kChangeVoices,
  kChangeUnisonVoices,
  kChangeMidiChannel,
  kChangeProperties,
  kMoveWindow,
  kChangeSnapshot,
  kRecallSnapshot,
  kOpenPanel,
  kClosePanel,
  kLockPanel,
  kUnlockPanel,
  kPanelOnTop,
  kInsertModule,
  kMoveModules,
  kPasteModules,
  kCutModules,
  kDeleteModules,
  kMuteModules,
  kUnmuteModules,
  kSetModulesMono,
  kSetModulesPoly,
  kSoloModule,
  kUnsoloModule,
  kCreateWire,
  kDeleteWire,
  kInsertControl,
  kMoveControls,
  kPasteControls,
  kCutControls,
  kDeleteControls,
  kChangeControls,
  // No step: nothing pending, or a window whose moves record none.
  kNone,
};
constexpr int32_t kUndoKindCount = int32_t(UndoKind::kNone);
