// The record versions of ensemble, instrument and macro files, each named by
// what it brought. A reader compares a record's version with these to know
// which fields the record holds; the writer writes kFileVersion records, and
// kMidiOutRangeVersion for the one record that needs it.
// Several names share a version where one release brought several things.
#pragma once

#include <cstdint>

// 96: the module flags word, and the window block of macros and instruments;
// the snapshot steps of controls; the value tables of the two oldest gates.
constexpr int32_t kVersionWithFlags = 96;
constexpr int32_t kVersionWithSnapSteps = 96;
constexpr int32_t kVersionWithGateValueTables = 96;

// 97: note shift, recall by MIDI and the stored flags of snapshots in the
// ensemble's old instrument blocks; the MIDI range, remote kind and MIDI mode
// words of controls; the value table of the selected poly pressure source.
constexpr int32_t kVersionWithNoteShift = 97;
constexpr int32_t kVersionWithStoredSnapFlags = 97;
constexpr int32_t kVersionWithMidiRange = 97;
constexpr int32_t kVersionWithRemoteKind = 97;
constexpr int32_t kVersionWithMidiModeWord = 97;
constexpr int32_t kVersionWithSelPolyPressureTable = 97;

// 98: the ensemble's sample rate.
constexpr int32_t kVersionWithSampleRate = 98;

// 99: the instrument block of instrument module records; the maximum of the
// delay types.
constexpr int32_t kVersionWithInstrBlock = 99;
constexpr int32_t kVersionWithDelayMaximum = 99;

// 100: the kind name after the version word; the ensemble's old instrument
// blocks end, and the count byte of the version word must be 0 (in module
// records until kVersionWithModuleCount); Event Delay records count their
// audio input slot.
constexpr int32_t kVersionWithKindName = 100;
constexpr int32_t kVersionWithoutOldInstrBlocks = 100;
constexpr int32_t kVersionWithEventDelayInput = 100;

// 120: the filler words of module and port records go; the panel lock, the
// remote flag and kind and the sample quality move into the flags word; the
// control style; the step size of controls, from which a fader computes its
// value table.
constexpr int32_t kVersionWithoutFillerWords = 120;
constexpr int32_t kVersionWithSettingsInFlags = 120;
constexpr int32_t kVersionWithControlStyle = 120;
constexpr int32_t kVersionWithStepSize = 120;

// 122: the control style of macros and instruments.
constexpr int32_t kVersionWithMacroStyle = 122;

// 140: the control style of the types that keep a file (tape decks and
// samplers); the visibility of a macro in its instrument's panel; the two
// words of the sync source.
constexpr int32_t kVersionWithFileTypeStyle = 140;
constexpr int32_t kVersionWithMacroVisibility = 140;
constexpr int32_t kVersionWithSyncWords = 140;

// 141: the panel position of samplers and tape decks.
constexpr int32_t kVersionWithSamplerPanelPlace = 141;

// 142: the counts of snapshot step tables and of an instrument's snapshots.
constexpr int32_t kVersionWithSnapCounts = 142;

// 143: the full-scale range of sound becomes -1 ... 1 (older ensembles were
// made for -4.096 ... 4.096); the sample rate is stored without its offset.
constexpr int32_t kVersionWithUnitFullScale = 143;
constexpr int32_t kLastVersionWithWideFullScale = kVersionWithUnitFullScale - 1;
constexpr int32_t kVersionWithPlainRateCode = 143;

// 144: an instrument's own tune; all bits of a control's MIDI lower value.
// Controls of this version alone hold one more word.
constexpr int32_t kVersionWithInstrTune = 144;
constexpr int32_t kVersionWithWideMidiLower = 144;
constexpr int32_t kVersionWithStrayControlWord = 144;

// 145: an instrument's unison spread.
constexpr int32_t kVersionWithUnisonSpread = 145;

// 150: the range of the MIDI out modules; default help texts are no longer
// stored.
constexpr int32_t kVersionWithMidiOutRange = 150;
constexpr int32_t kVersionWithoutDefaultHelp = 150;

// 151: the sample rate always in Hz, no longer a code.
constexpr int32_t kVersionWithRateInHz = 151;

// 157: window places as points and areas instead of outer sizes.
constexpr int32_t kVersionWithWindowAreas = 157;

// 161: samplers keep a sample map instead of one embedded sample.
constexpr int32_t kVersionWithSampleMaps = 161;

// 190: the ensemble panel: positions and visibility of its own.
constexpr int32_t kVersionWithEnsemblePanel = 190;

// 191: the range of the clock oscillator.
constexpr int32_t kVersionWithClockOscRange = 191;

// 192: the order in which windows open again.
constexpr int32_t kVersionWithWindowOpenOrder = 192;

// 193: the control style of the first group of graph types.
constexpr int32_t kVersionWithGraphStyle = 193;

// 194: the panel positions of graphs.
constexpr int32_t kVersionWithGraphPanelPlaces = 194;

// 195: a hidden structure.
constexpr int32_t kVersionWithHiddenStructure = 195;

// 196: the ensemble's control rate, clock sync and tempo.
constexpr int32_t kVersionWithClockSettings = 196;

// 197: an instrument listens on one channel; its snapshots keep their unison
// settings; recall by the parent's snapshots.
constexpr int32_t kVersionWithOneChannel = 197;
constexpr int32_t kVersionWithSnapUnison = 197;
constexpr int32_t kVersionWithParentRecall = 197;

// 198: the count byte of module records; the control style of the second
// group of graph types.
constexpr int32_t kVersionWithModuleCount = 198;
constexpr int32_t kVersionWithMoreGraphStyles = 198;

// 200: the show states of windows.
constexpr int32_t kVersionWithWindowStates = 200;

// The current record version; the highest one an ensemble record may have.
constexpr int32_t kFileVersion = kVersionWithWindowStates;
// The one module record written above it: a program-change or channel
// aftertouch MIDI output whose range is not a new module's keeps that range
// in its record, which the format before had no field for. Every other
// record stays at kFileVersion, so files without such a range are written
// as before; a reader that knows only kFileVersion refuses such a record
// as newer instead of losing the range without a word.
constexpr int32_t kMidiOutRangeVersion = 201;
// The release that wrote version 200 records, which its version text names.
constexpr int32_t kVersionOfRelease204 = 200;
