// The persistent preferences of the program: named values of one settings key,
// read with a default, written, deleted.
//
// The store is one text file per key in the settings folder ($QUORVEX_SETTINGS_DIR,
// else $XDG_CONFIG_HOME/Orvanta, else ~/.config/Orvanta). Value names are
// compared without regard to case; each value keeps its kind (integer or
// text). Every write reaches the disk at once through a temporary file that
// is renamed over the store, so the store is never left half written.
// Reads never fail: a missing value, an unreadable store or a garbled line
// gives the caller's default. Writes that cannot reach the disk are dropped
// without a message.
#pragma once

#include "src/base/area.h"
#include "src/base/str.h"

#include <cstdint>

// Opens (or creates) the key for the rest of the process. Until it is called,
// reads answer their defaults and writes are dropped. Calling it again opens
// another key (or the same key in a folder named by a changed environment).
void OpenSettings(TStr keyName);

// The value's first 4 bytes as a little-endian number (fewer bytes are
// extended with zeros), or the default when the value is missing or empty.
// A text value is read by its bytes, as an integer value is by its 4 bytes.
uint32_t ReadSettingInt(TStr name, uint32_t defaultValue);
// An integer that a dialog edits within low ... high: a stored value outside
// is read as the nearest bound (a missing one as the default), so that a
// damaged or hand-edited store cannot ask for more than the dialog allows.
int32_t ReadSettingIntWithin(TStr name, int32_t defaultValue, int32_t low, int32_t high);
// A check box's value: 1 for any stored value other than 0.
int32_t ReadSettingFlag(TStr name, int32_t defaultValue);
// The value's bytes up to the first zero byte, or the default when the value
// is missing or empty.
TStr ReadSettingStr(TStr name, TStr defaultValue);
// name + "X" and name + "Y".
TPnt ReadSettingPnt(TStr name, TPnt defaultValue);
// name + "X0", "Y0", "X1", "Y1" for left, top, right, bottom.
TArea ReadSettingArea(TStr name, TArea defaultValue);

// False when the value could not reach the disk (a full disk, a read-only
// store); the store then holds what it held before. With no key open the
// write is dropped and counts as done.
bool WriteSettingInt(TStr name, uint32_t value);
bool WriteSettingStr(TStr name, TStr value);
void WriteSettingPnt(TStr name, TPnt value);
void WriteSettingArea(TStr name, TArea value);
void DeleteSetting(TStr name);

// The file that holds the open key (empty when no key is open); for tools and tests.
TStr SettingsFilePath();

// The value names in use and their owners. A shared value also uses its own
// name (of the value's kind).
namespace setting {
inline constexpr const char* AudioPort = "AudioPort";         // text: audio driver choice (engine)
inline constexpr const char* MaxUsage = "MaxUsage";           // integer: engine load limit (engine)
inline constexpr const char* UndoNo = "UndoNo";               // integers: undo
inline constexpr const char* UndoEnabled = "UndoEnabled";
inline constexpr const char* UndoMax = "UndoMax";
inline constexpr const char* CreateBackups = "CreateBackups"; // integers: module tree and ensemble
inline constexpr const char* ReloadLastEns = "ReloadLastEns";
inline constexpr const char* InstrDir = "InstrDir";           // texts: folders and last ensemble (application)
inline constexpr const char* MacroDir = "MacroDir";
inline constexpr const char* EnsWorkDir = "EnsWorkDir";
inline constexpr const char* InstrWorkDir = "InstrWorkDir";
inline constexpr const char* MacroWorkDir = "MacroWorkDir";
inline constexpr const char* AudioWorkDir = "AudioWorkDir";
inline constexpr const char* TmpDir = "TmpDir";
inline constexpr const char* EditorPath = "EditorPath";
inline constexpr const char* LastEnsPath = "LastEnsPath";
inline constexpr const char* StructBG = "StructBG";           // integer: structure window background
inline constexpr const char* ShowCtrlBox = "ShowCtrlBox";     // integers: control box and tool boxes
inline constexpr const char* ShowEnsembleBox = "ShowEnsembleBox";
inline constexpr const char* ShowInstrumentBox = "ShowInstrumentBox";
inline constexpr const char* ShowHints = "ShowHints";
inline constexpr const char* EnsembleBoxLoc = "EnsembleBoxLoc"; // integers: tool-box and main-window placement
inline constexpr const char* EnsembleBoxX = "EnsembleBoxX";
inline constexpr const char* EnsembleBoxY = "EnsembleBoxY";
inline constexpr const char* EnsembleBoxW = "EnsembleBoxW";
inline constexpr const char* EnsembleBoxH = "EnsembleBoxH";
inline constexpr const char* InstrumentBoxLoc = "InstrumentBoxLoc";
inline constexpr const char* InstrumentBoxX = "InstrumentBoxX";
inline constexpr const char* InstrumentBoxY = "InstrumentBoxY";
inline constexpr const char* InstrumentBoxW = "InstrumentBoxW";
inline constexpr const char* InstrumentBoxH = "InstrumentBoxH";
inline constexpr const char* MainX = "MainX";
inline constexpr const char* MainY = "MainY";
inline constexpr const char* MainW = "MainW";
inline constexpr const char* MainH = "MainH";
inline constexpr const char* AWBufSize = "AWBufSize";         // integers: sound-card driver
inline constexpr const char* AWInAnalog = "AWInAnalog";
inline constexpr const char* AWMode = "AWMode";
inline constexpr const char* MmeInPort = "MmeInPort";         // texts: multimedia audio driver
inline constexpr const char* MmeOutPort = "MmeOutPort";
inline constexpr const char* MmeInputFirst = "MmeInputFirst";
inline constexpr const char* MmeInDelay = "MmeInDelay";       // integers: multimedia audio driver
inline constexpr const char* MmeOutDelay = "MmeOutDelay";
} // namespace setting

// The MIDI driver's texts: "Midi" + n for input port n, "MidiOut" + n for output port n.
TStr MidiInSettingName(int n);
TStr MidiOutSettingName(int n);
