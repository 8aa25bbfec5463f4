// The dialog templates of the module property dialogs.
#include "src/volteon/propdlg.h"
#include "src/volteon/propdlg_layout.h"
#include "src/volteon/sampdlg.h"

using prplay::TLayout;
using namespace prpid;

namespace {

constexpr int32_t kWide = 227, kNarrower = 225, kSmall = 144;

struct TGeneral {
  bool voices = false, file = false, mono = false, mute = false;
};

// Label, Instrument and Info, then what the dialog adds to the group.
void General(TLayout& l, TGeneral g = {}) {
  l.Begin("General");
  l.Field("Label", kLabel);
  l.Field("Instrument", kInstrument);
  l.Field("Info", kInfo);
  if (g.voices) l.Field("Voices", kVoices);
  if (g.file) l.Field("File", kFile);
  prplay::TLabelled boxes;
  if (g.mono) boxes.push_back({kMono, "Mono"});
  if (g.mute) boxes.push_back({kMute, "Mute"});
  l.Checks(boxes);
  l.End();
}

void MaxMin(TLayout& l, const char* maxCaption = "Max", const char* minCaption = "Min") {
  l.Field(maxCaption, kMax);
  l.Field(minCaption, kMin);
}

void Visibility(TLayout& l, bool shortTexts) {
  l.Checks({{kVisibleInInstr, shortTexts ? "Visible in Instr." : "Visible in Instrument"},
            {kVisibleInEns, shortTexts ? "Visible in Ens." : "Visible in Ensemble"}});
}

void Register(TLayout& l) { RegisterDlgTemplate(l.Finish()); }

void Macro() {
  TLayout l(prpdlg::kMacro, kWide);
  General(l, {true, true, true, true});
  l.Begin("Panel Appearance");
  Visibility(l, false);
  l.End();
  Register(l);
}

void Fader() {
  TLayout l(prpdlg::kFader, kWide);
  General(l);
  l.Begin("Range");
  MaxMin(l);
  l.Field("Stepsize", kStepSize);
  l.End();
  l.Begin("MIDI");
  l.Checks({{kRemote, "Remote"}});
  l.Radios({{kRemoteKind, "Controller"}, {kRemoteKind + 1, "Poly Aftertouch"}}, 2);
  l.Field("Controller/Note No.", kControllerNo);
  l.Checks({{kIncremental, "Incremental"}, {kSoftTakeover, "Soft Takeover"}, {kSnapIsolate, "Snap Isolate"},
            {kPanelToMidiOut, "Panel to MIDI Out"}, {kRemoteToMidiOut, "Remote to MIDI Out"}});
  l.End();
  l.Begin("Panel Appearance");
  l.Radios({{kFaderStyle + 1, "Knob"}, {kFaderStyle, "Fader"}}, 2);
  l.Checks({{kLabelShown, "Label"}, {kValueShown, "Value"}, {kVisibleInInstr, "Visible in Instr."},
            {kVisibleInEns, "Visible in Ens."}, {kSmallDesign, "Small Design"}});
  l.End();
  Register(l);
}

void Button() {
  TLayout l(prpdlg::kButton, kWide);
  General(l);
  l.Begin("Range / Mode");
  MaxMin(l, "On Value", "Off Value");
  l.Radios({{kButtonMode, "Trigger"}, {kButtonMode + 1, "Gate"}, {kButtonMode + 2, "Toggle"}}, 3);
  l.End();
  l.Begin("MIDI");
  l.Checks({{kRemote, "Remote"}, {kPanelToMidiOut, "Panel to MIDI Out"}, {kRemoteToMidiOut, "Remote to MIDI Out"},
            {kSnapIsolate, "Snap Isolate"}});
  l.Radios({{kRemoteKind, "Controller"}, {kRemoteKind + 1, "Poly Aftertouch"}, {kRemoteKind + 2, "Note On/Off"}},
           3);
  l.Field("Controller/Note No.", kControllerNo);
  l.End();
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}, {kValueShown, "Value"}, {kVisibleInInstr, "Visible in Instrument"},
            {kVisibleInEns, "Visible in Ensemble"}, {kSmallDesign, "Small Design"}});
  l.End();
  Register(l);
}

void Switch() {
  TLayout l(prpdlg::kSwitch, kWide);
  General(l, {.mute = true});
  l.Begin("MIDI");
  l.Checks({{kRemote, "Remote"}});
  l.Radios({{kRemoteKind, "Controller"}, {kRemoteKind + 1, "Poly Aftertouch"}}, 2);
  l.Field("Controller/Note No.", kControllerNo);
  l.Checks({{kSnapIsolate, "Snap Isolate"}, {kPanelToMidiOut, "Panel to MIDI Out"},
            {kRemoteToMidiOut, "Remote to MIDI Out"}});
  l.End();
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}, {kVisibleInInstr, "Visible in Instrument"},
            {kVisibleInEns, "Visible in Ensemble"}, {kSmallDesign, "Small Design"}});
  l.End();
  Register(l);
}

void Comment() {
  TLayout l(prpdlg::kComment, kWide);
  General(l);
  Register(l);
}

void Lamp() {
  TLayout l(prpdlg::kLamp, kWide);
  General(l);
  l.Begin("Range");
  MaxMin(l);
  l.End();
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}, {kVisibleInInstr, "Visible in Instr."}, {kVisibleInEns, "Visible in Ens."}}, 3);
  l.Radios({{kLampColour, "Red"}, {kLampColour + 1, "Green"}, {kLampColour + 2, "Blue"}, {kLampColour + 3, "Yellow"}},
           4);
  l.End();
  Register(l);
}

void Meter() {
  TLayout l(prpdlg::kMeter, kWide);
  General(l);
  l.Begin("Range");
  MaxMin(l);
  l.End();
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}});
  Visibility(l, false);
  l.End();
  Register(l);
}

void Limits(TLayout& l) {
  l.Field("Upper Limit", kUpperLimit);
  l.Field("Lower Limit", kLowerLimit);
}

void MidiPoly() {
  TLayout l(prpdlg::kMidiPoly, kWide);
  General(l, {.voices = true, .mono = true});
  l.Begin("Range");
  MaxMin(l);
  l.End();
  l.Begin("MIDI");
  Limits(l);
  l.End();
  Register(l);
}

void MidiCaStg(int32_t id, bool noteNo) {
  TLayout l(id, kWide);
  General(l);
  l.Begin("Range");
  MaxMin(l);
  l.End();
  l.Begin("MIDI");
  if (noteNo) l.Field("Note No.", kControllerNo);
  Limits(l);
  l.End();
  Register(l);
}

void RangeOnly(int32_t id, bool voicesAndMono, const char* midiNumber = nullptr) {
  TLayout l(id, kWide);
  General(l, {.voices = voicesAndMono, .mono = voicesAndMono});
  l.Begin("Range");
  MaxMin(l);
  l.End();
  if (midiNumber) {
    l.Begin("MIDI");
    l.Field(midiNumber, kControllerNo);
    l.End();
  }
  Register(l);
}

void CtrlSelAT() {
  TLayout l(prpdlg::kCtrlSelAT, kWide);
  General(l);
  l.Begin("Range");
  MaxMin(l);
  l.Field("Stepsize", kStepSize);
  l.End();
  l.Begin("MIDI");
  l.Checks({{kSnapIsolate, "Snap Isolate"}});
  l.Field("Note No.", kControllerNo);
  l.Checks({{kSoftTakeover, "Soft Takeover"}});
  Limits(l);
  l.End();
  Register(l);
}

void MidiSync(int32_t id, bool clock) {
  TLayout l(id, kWide);
  General(l);
  l.Begin("Range");
  l.Field("Output Value", kMin);
  if (clock) {
    l.Field("Rate", kRate, true);
    l.Field("Duration", kDuration, true);
  }
  l.End();
  Register(l);
}

void Constant() {
  TLayout l(prpdlg::kConstant, kSmall);
  l.Field("Constant Value", kMin);
  l.Field("Info", kInfo);
  Register(l);
}

void Processing(int32_t id, TGeneral g) {
  TLayout l(id, kWide);
  General(l, g);
  Register(l);
}

void Graph() {
  TLayout l(prpdlg::kGraph, kWide);
  General(l, {.voices = true, .mono = true, .mute = true});
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}, {kVisibleInInstr, "Visible in Instr."}, {kVisibleInEns, "Visible in Ens."}}, 3);
  l.Field("Pixel in X", kPixelX);
  l.Field("Pixel in Y", kPixelY);
  l.End();
  Register(l);
}

void Quality(TLayout& l, const char* caption) {
  l.Add(DlgStatic(-1, caption, prplay::kInset, l.Y() + 1, prplay::kCaptionW, 8));
  l.Skip(prplay::kCheckRow);
  l.Radios({{kQuality, "Poor"}, {kQuality + 1, "Good"}, {kQuality + 2, "Excellent"}}, 3);
}

void Scrub() {
  TLayout l(prpdlg::kScrub, kWide);
  General(l, {.voices = true, .mono = true, .mute = true});
  l.Begin("Sample");
  l.Field("Audio File", kFile);
  l.Checks({{kBackupSound, "Backup Sound with Module"}}, 1);
  Quality(l, "Playback Quality");
  l.End();
  l.Begin("Panel Appearance");
  Visibility(l, false);
  l.End();
  Register(l);
}

void Delay(int32_t id, int32_t width, bool quality) {
  TLayout l(id, width);
  General(l, {.voices = true, .mono = true, .mute = true});
  l.Begin("Buffer");
  if (quality) Quality(l, "Quality:");
  l.Field("Max Delay [ms]", kMax);
  l.End();
  Register(l);
}

void Tapedeck() {
  TLayout l(prpdlg::kTapedeck, kWide);
  General(l, {.mute = true});
  l.Begin("Buffer");
  l.Field("Audio File", kFile);
  l.Field("Size (sec)", kMax);
  l.End();
  l.Begin("Panel Appearance");
  Visibility(l, false);
  l.End();
  Register(l);
}

void Smoother() {
  TLayout l(prpdlg::kSmoother, kWide);
  General(l, {.mute = true});
  l.Begin("Smoothing");
  l.Field("Transition Time (ms)", kMax);
  l.End();
  Register(l);
}

void Scope() {
  TLayout l(prpdlg::kScope, kNarrower);
  General(l, {.mute = true});
  l.Begin("Buffer");
  l.Field("Max Buffer [ms]", kMax);
  l.End();
  l.Begin("Panel Appearance");
  l.Checks({{kLabelShown, "Label"}, {kVisibleInInstr, "Visible in Instr."}, {kVisibleInEns, "Visible in Ens."}}, 3);
  l.Field("Pixel in X", kPixelX);
  l.Field("Pixel in Y", kPixelY);
  l.End();
  Register(l);
}

} // namespace

void RegisterModPrpTemplates() {
  static bool done = false;
  if (done) return;
  done = true;
  Macro();
  Fader();
  Button();
  Switch();
  Comment();
  Lamp();
  Meter();
  MidiPoly();
  MidiCaStg(prpdlg::kMidiCaStg, false);
  MidiCaStg(prpdlg::kSelNoteGate, true);
  RangeOnly(prpdlg::kMidiPitchbend, false);
  CtrlSelAT();
  MidiSync(prpdlg::kMidiSync, true);
  MidiSync(prpdlg::kMidiClock, false);
  RangeOnly(prpdlg::kEtmNote, true);
  RangeOnly(prpdlg::kEtmCtrl, false, "Controller No.");
  RangeOnly(prpdlg::kEtmPolyAT, false, "Note No.");
  Constant();
  Processing(prpdlg::kProcessing, {.voices = true, .mono = true, .mute = true});
  Processing(prpdlg::kMonoMod, {.mute = true});
  Graph();
  Scrub();
  Delay(prpdlg::kStaticDelay, kWide, false);
  Delay(prpdlg::kDelay, kNarrower, true);
  Tapedeck();
  Smoother();
  Scope();
  RegisterSamplerTemplates();
}
