// The command ids of the program's menus, keys and control-box buttons, each
// defined once. Menus, windows, the control box and stored panels refer to
// them by number, so a number never changes. The framework's own commands
// (Exit, the Window menu, About) and the ranges that route a command to the
// application, the active window or the control box are pc/sky's (wnd.h,
// mdi.h).
#pragma once

#include <cstdint>

namespace cmd {

// ---- The application's: File, Edit, Settings and System menus
constexpr int32_t kNewEnsemble = 1000;
constexpr int32_t kOpen = 1001;
constexpr int32_t kSaveEnsemble = 1002;
constexpr int32_t kSaveEnsembleAs = 1003;
constexpr int32_t kBatchAnalyse = 1004;
constexpr int32_t kUndo = 1050;
constexpr int32_t kRedo = 1051;
constexpr int32_t kExternalSync = 1152;
constexpr int32_t kClockStart = 1153;
constexpr int32_t kClockStop = 1154;
constexpr int32_t kFactorHalf = 1160; // 1160-1165: the six rate factors
constexpr int32_t kFactorCount = 6;
constexpr int32_t kRate25 = 1170; // 1170-1176: the control rates
constexpr int32_t kRateCount = 7;
constexpr int32_t kStopAudio = 1200;
constexpr int32_t kMeasureCpu = 1201;
constexpr int32_t kAudioSettings = 1203;
constexpr int32_t kMidiSettings = 1204;
constexpr int32_t kPreferences = 1205;
constexpr int32_t kPortBase = 1209; // 1209 + driver type: the port items
constexpr int32_t kPortCard = 1211;
constexpr int32_t kPortSoundcard = 1212;
constexpr int32_t kEnsembleToolbar = 1251;
constexpr int32_t kInstrumentToolbar = 1252;
constexpr int32_t kShowHints = 1253;
constexpr int32_t kShowEnsemble = 1254;
constexpr int32_t kCloseAllPanels = 1255;
constexpr int32_t kCloseAllStructures = 1256;
constexpr int32_t kPanelsToFront = 1257;

// ---- The active structure or panel window's, in the main menu and in the
// windows' own menus
constexpr int32_t kSaveWindowAs = 1500;
constexpr int32_t kLoadAudio = 1501;
constexpr int32_t kReloadAudio = 1502;
constexpr int32_t kExportAudio = 1503;
constexpr int32_t kOverwriteAudio = 1504;
constexpr int32_t kCut = 1550;
constexpr int32_t kCopy = 1551;
constexpr int32_t kPaste = 1552;
constexpr int32_t kDelete = 1553;
constexpr int32_t kSelectAll = 1554;
constexpr int32_t kMute = 1555;
constexpr int32_t kMono = 1556;
// Items of the Edit menu that no window answers: they stay greyed.
constexpr int32_t kEditSolo = 1557, kEditProperties = 1558;
constexpr int32_t kStoreSnapshot = 3000;
constexpr int32_t kLearn = 3001;
constexpr int32_t kLock = 3002;
constexpr int32_t kProperties = 3003;
constexpr int32_t kGotoPanel = 3020;
constexpr int32_t kGotoStructure = 3021;
constexpr int32_t kGotoParent = 3022;
// Return and Enter: from a structure window to its panel and back.
constexpr int32_t kGotoCounterpart = 3100;

// ---- Inserting a module: one id per type a user can place (the table in
// inserts.cpp), in the Insert menu and the windows' insert pop-ups
constexpr int32_t kInsertFirst = 1600, kInsertLast = 2863;
// The controls a panel window inserts.
constexpr int32_t kInsertControlFirst = 1600, kInsertControlLast = 1664;
constexpr int32_t kInsertFader = 1600, kInsertKnob = 1601, kInsertButton = 1602;
constexpr int32_t kInsertAudioSwitchFirst = 1620, kInsertAudioSwitchLast = 1627;
constexpr int32_t kInsertEventSwitchFirst = 1640, kInsertEventSwitchLast = 1646;
constexpr int32_t kInsertLamp = 1661, kInsertLevelLamp = 1662, kInsertMeter = 1663, kInsertLevelMeter = 1664;
constexpr int32_t kInsertSawtooth = 2000;
constexpr int32_t kInsertScope = 2840;
// The terminals: only inside a macro or an instrument.
constexpr int32_t kInsertTerminalFirst = 2860;
constexpr int32_t kInsertTerminalLast = 2863;
constexpr int32_t kInsertMacroFile = 3101;
constexpr int32_t kInsertInstrumentFile = 3102;
// The files of the library folders in the structure window's menus.
constexpr int32_t kMacroLibraryFirst = 8000, kMacroLibraryLast = 9999;
constexpr int32_t kInstrLibraryFirst = 10000, kInstrLibraryLast = 11999;

// ---- Context menus: each numbers its own items from 4000
// A module's box in the structure window.
constexpr int32_t kBoxProperties = 4000;
constexpr int32_t kBoxLoadAudio = 4001;
constexpr int32_t kBoxReloadAudio = 4002;
constexpr int32_t kBoxExportAudio = 4003;
constexpr int32_t kBoxOverwriteAudio = 4004;
constexpr int32_t kBoxSaveAs = 4011;
constexpr int32_t kBoxStructure = 4012;
constexpr int32_t kBoxPanel = 4013;
constexpr int32_t kBoxMute = 4014;
constexpr int32_t kBoxMono = 4015;
constexpr int32_t kBoxSolo = 4016;
// A port's handle on a box.
constexpr int32_t kCreateControl = 4000;
constexpr int32_t kWireUnwire = 4001;
constexpr int32_t kPortMute = 4002;
constexpr int32_t kPortProperties = 4003;
// A wire.
constexpr int32_t kWireDelete = 4000;
// A control on a panel; the frame of a macro or an instrument adds its own.
constexpr int32_t kCtrlProperties = 4000;
constexpr int32_t kCtrlLoadAudio = 4001;
constexpr int32_t kCtrlReloadAudio = 4002;
constexpr int32_t kCtrlExportAudio = 4003;
constexpr int32_t kCtrlOverwriteAudio = 4004;
constexpr int32_t kFramePaste = 4005;
constexpr int32_t kFrameSaveAs = 4006;
constexpr int32_t kFrameStructure = 4007;
constexpr int32_t kFramePanel = 4008;
constexpr int32_t kFrameMute = 4009;
constexpr int32_t kFrameSolo = 4010;
// A frame's insert pop-up: the panel window's control inserts moved up.
constexpr int32_t kFrameInsertFirst = 4100;
constexpr int32_t kFrameInsertOffset = kFrameInsertFirst - kInsertControlFirst;
constexpr int32_t kFrameInsertLast = kInsertControlLast + kFrameInsertOffset;

} // namespace cmd

// The recent files at the end of the File menu.
namespace recent {
constexpr int32_t kSeparatorId = 1020;
constexpr int32_t kFirstEntryId = 1021; // 1021-1030 open entries 0-9
constexpr int32_t kLastCommandId = 1030;
} // namespace recent

// The control box's buttons and displays; a button's id is also the command
// it runs from a key or another window.
namespace boxid {
// Ensemble bar.
constexpr int32_t kNew = 3580, kOpen = 3581, kSave = 3582, kRunStop = 3583;
constexpr int32_t kUsage = 3500;
constexpr int32_t kInSymbol = 3540, kInLeft = 3541, kInRight = 3542;
constexpr int32_t kOutSymbol = 3543, kOutLeft = 3544, kOutRight = 3545;
constexpr int32_t kRate = 3740;
constexpr int32_t kMidiLamp = 3546;
constexpr int32_t kHints = 3584, kClosePanels = 3585, kCloseStructures = 3586, kPanelsToFront = 3587;
constexpr int32_t kClockStop = 3588, kClockStart = 3589;
constexpr int32_t kTempo = 3501, kTempoSpin = 3850;
// Instrument bar.
constexpr int32_t kInstrList = 3741;
constexpr int32_t kGotoPanel = 3590, kGotoStructure = 3591, kInfo = 3592, kProperties = 3593;
constexpr int32_t kSolo = 3594, kMute = 3595, kLock = 3599;
constexpr int32_t kSnapList = 3742, kSnapDialog = 3596, kSnapReload = 3597;
constexpr int32_t kVoices = 3502, kVoicesSpin = 3851;
constexpr int32_t kUnison = 3503, kUnisonSpin = 3852;
constexpr int32_t kLearn = 3598;
constexpr int32_t kInstrLamp = 3547;
constexpr int32_t kChannel = 3504, kChannelSpin = 3853;
} // namespace boxid

// Resource ids of the structure editor's menus.
namespace menuid {
constexpr int32_t kStructure = 7910;
constexpr int32_t kControl = 7650;
constexpr int32_t kProcessing = 7651;
constexpr int32_t kMonoModule = 7652;
constexpr int32_t kTapedeck = 7653;
constexpr int32_t kSampler = 7654;
constexpr int32_t kInOut = 7655;
constexpr int32_t kMacros = 7656;
constexpr int32_t kInstrument = 7657;
constexpr int32_t kInPort = 7750;
constexpr int32_t kOutPort = 7751;
constexpr int32_t kWire = 7800;
} // namespace menuid
