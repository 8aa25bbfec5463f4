// Ensemble, instrument and macro files: the signature, the framed records of
// the ensemble, its modules and their ports, the record tree, and the writer
// that is the reader's exact inverse at the current version.
#pragma once

#include <vector>

#include "src/base/file.h"
#include "src/base/inout.h"
#include "src/base/str.h"

#include <cstdint>

class KSModul;
class KInstr;
class KInPort;
class KOutPort;

// The port and child counts a module record announces.
struct KRecordCounts {
  uint32_t in = 0;
  uint32_t out = 0;
  uint32_t children = 0;
};

// The ensemble-level state that reading and writing a file touch. The
// ensemble provides it; a module file read into a module of an ensemble
// uses the same object.
class IFileEnsemble {
public:
  virtual ~IFileEnsemble() = default;
  // How far a read has come: 0 before, 1 after the ensemble record (or at
  // the start of a module file), 2 after the first module record.
  virtual int32_t GetReadState() const = 0;
  virtual void SetReadState(int32_t state) = 0;
  // Set while an undo or redo snapshot is written or read: only then do the
  // records carry serial numbers.
  virtual bool IsUndoBusy() const = 0;
  virtual void SetUndoBusy(bool busy) = 0;
  // The rate stored in the file: the processing rate.
  virtual int32_t GetFileSampleRate() const = 0;
  virtual void SetFileSampleRate(int32_t hz) = 0;
  virtual int32_t GetNextSerialNo() const = 0;
  virtual void SetNextSerialNo(int32_t serial) = 0;
  virtual KSModul* GetTopModule() const = 0;
  // The engine's control rate, the external clock sync and the tempo.
  virtual void GetClock(int32_t& controlRate, bool& sync, float& tempo) const = 0;
  virtual void SetClock(int32_t controlRate, bool sync, float tempo) = 0;
};

// The current record version; the highest one an ensemble record may have.
constexpr int32_t kFileVersion = 200;
// The one module record written above it: a program-change or channel
// aftertouch MIDI output whose range is not a new module's keeps that range
// in its record, which the format before had no field for. Every other
// record stays at kFileVersion, so files without such a range are written
// as before; a reader that knows only kFileVersion refuses such a record
// as newer instead of losing the range without a word.
constexpr int32_t kMidiOutRangeVersion = 201;

// The messages of the reader.
TParamStr& NotValidFileMessage();
TParamStr& NewerVersionMessage();

class KModulFile {
public:
  // ---- Reading
  static void ReadSignature(TInOut& s);
  static void ReadEnsembleRecord(TInOut& s, IFileEnsemble& ens);
  // One module record into a module (ports and children untouched).
  static KRecordCounts ReadModul(TInOut& s, KSModul& m, IFileEnsemble& ens);
  static void ReadInPort(TInOut& s, KInPort& p, int32_t ownerVersion);
  static void ReadOutPort(TInOut& s, KOutPort& p, int32_t ownerVersion);
  // The record tree of a module, replacing its ports and children. Fresh:
  // the module was just made (no engine work, nothing added to panels).
  static void ReadTree(TInOut& s, KSModul& m, IFileEnsemble& ens, bool fresh);

  // ---- Writing
  static void WriteSignature(TInOut& s);
  static void WriteEnsembleRecord(TInOut& s, const IFileEnsemble& ens);
  // first: the first module record of the file, which carries the kind name.
  static void WriteModul(TInOut& s, const KSModul& m, const IFileEnsemble& ens, bool first);
  static void WriteInPort(TInOut& s, const KInPort& p);
  static void WriteOutPort(TInOut& s, const KOutPort& p);
  static void WriteTree(TInOut& s, const KSModul& m, const IFileEnsemble& ens, bool first);
  // A whole ensemble: signature, ensemble record and the top module's tree.
  static void WriteEnsemble(TInOut& s, const IFileEnsemble& ens);
  // An instrument or macro with everything below it.
  static void WriteModuleFile(TInOut& s, const KSModul& m, const IFileEnsemble& ens);
  // The selected children of a structure as a macro file: the wires among
  // them are kept, wires from children that are not selected are left out.
  static void WriteSelection(TInOut& s, const KSModul& structure, const IFileEnsemble& ens);
  // The chosen modules as one macro file, with the wires between those that
  // share a parent (panel controls can come from several structures).
  static void WriteModules(TInOut& s, const std::vector<const KSModul*>& chosen, const IFileEnsemble& ens);

  // ---- Files
  // Writes through a temporary file in the target's folder renamed over the
  // target; with "CreateBackups" the old file becomes "Backup of <name>".
  // Raises the file layer's error when writing fails (the target is kept).
  static void SaveEnsembleFile(const IFileName& name, const IFileEnsemble& ens);
  static void SaveModuleFile(const IFileName& name, const KSModul& m, const IFileEnsemble& ens);
  static void SaveSelectionFile(const IFileName& name, const KSModul& structure, const IFileEnsemble& ens);
  static void SaveModulesFile(const IFileName& name, const std::vector<const KSModul*>& chosen,
                              const IFileEnsemble& ens);
  // Reads a module file into a just-made module; 1 on success, 0 after the
  // error was shown under "Error while reading file $1:".
  static int32_t ReadFile(KSModul& m, const IFileName& name, IFileEnsemble& ens);
  // Reads an undo snapshot's module tree into a just-made module.
  static int32_t ReadTempFile(KSModul& m, const IFileName& name, IFileEnsemble& ens);

  // Merges the modules of a macro file into a macro, keeping the macro's
  // ports; its terminals add ports to the macro. 1 when merged; 0 after the
  // error was shown, nothing of the file merged.
  static int32_t ImportModuleFile(KSModul& macro, const IFileName& name, IFileEnsemble& ens);
  // The smallest instrument-panel position in a subtree, from a start.
  static TPnt MinPanelPos(const KSModul& m, TPnt start);
  // A move of places read from a file, wider than 32 bits when it must be.
  struct TShift {
    int64_t x = 0, y = 0;
  };
  static void MovePanelPos(KSModul& m, TShift by);

  // After a tree was read: every instrument takes the voice settings its
  // module record held.
  static void ApplyVoiceSettings(KSModul& m);
  // After an ensemble was read (its own Audio In and Out in place): Audio Ins
  // and Outs inside macros go, a loaded one takes the place of the
  // ensemble's own or hands its wires to a fresh one. Bit 1: some were
  // inside macros; bit 2: wires were dropped. Either is reported; without
  // either and with announce the ensemble is clean.
  static int32_t RepairLoadedStructure(KSModul& top, bool announce);
  // After a read into an emptied top: an Audio In or Out (0:113, 0:114) read
  // directly into the top becomes the ensemble's own when it has none, so the
  // loaded tree sounds at once. Its load mark stays for the repair above.
  static void AdoptLoadedAudioModules(KSModul& top);
  // Ensembles stored before the full-scale range changed: an Audio Out level
  // fader drops by 12 dB (1), a tapedeck is warned of (2), nothing is warned
  // of (0). -1 for an ensemble that is not that old.
  static int32_t WarnOldEnsemble(KSModul& top);
  // Deletes a module's children, ports and own instrument.
  static void EmptyModule(KSModul& m);
  // Deletes a module's children and ports.
  static void RemoveContents(KSModul& m);

  // The first old-style instrument block of an ensemble record.
  static void SetOldInstrument(KInstr& in, int32_t voices, int32_t lower, int32_t upper, int32_t sustain, int32_t hold,
                               int32_t shift, int32_t recall, int32_t channel, const TStr* names, const int32_t* stored);

private:
  // An in-port whose wires name their sources by new child numbers (-1:
  // the wire is left out).
  static void WriteInPortMapped(TInOut& s, const KInPort& p, const int32_t* childMap, int32_t mapSize);
  // The steps of ReadModul, in record order.
  static int32_t ReadModulVersion(TInOut& s, KSModul& m, IFileEnsemble& ens);
  static KRecordCounts ReadModulHeader(TInOut& s, KSModul& m, int32_t v);
  static void AttachInstrument(KSModul& m);
  static void RenameFormerTypes(KSModul& m, int32_t v);
  static void ReadFlagsAndWindows(TInOut& s, KSModul& m, int32_t v, int32_t storedCat, IFileEnsemble& ens);
  static void ReadLabelAndHelp(TInOut& s, KSModul& m, int32_t v);
  static void ReadControlStyle(TInOut& s, KSModul& m, int32_t v, int32_t storedCat);
  static void MarkLoadedDriver(KSModul& m);
  static void ReadTypeData(TInOut& s, KSModul& m, int32_t v, int32_t storedType);
  static void ReadControlBlock(TInOut& s, KSModul& m, int32_t v, int32_t storedType);
  static void ReadInstrBlock(TInOut& s, KSModul& m, int32_t v);
  static void WriteTypeData(TInOut& s, const KSModul& m);
  // The version a module's record is written at.
  static int32_t RecordVersion(const KSModul& m);
  static void WriteControlBlock(TInOut& s, const KSModul& m);
  static void WriteInstrBlock(TInOut& s, const KSModul& m);
  // A loaded module takes what its type decides: label and help where the
  // record says they follow the type, port entries, state sizes.
  static void ApplyLoadedType(KSModul& m, bool addToPanel);
  // The windows show what a merge added to a macro (children from former on).
  static void ShowMerged(KSModul& macro, int32_t former, bool newPorts);
  template <class P> static void TakeTerminal(P* port, KSModul& terminal, int32_t kind, int32_t number);
};

// Backups beside a saved file.
void RemoveBackup(const IFileName& name);
