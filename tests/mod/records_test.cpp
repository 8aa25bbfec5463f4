// Fully specified records, field by field, and the port places that the
// start-up fill writes from the engine's layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/engine/voice_state.h"
#include "src/mod/modul_def.h"

namespace {

struct TIn {
  const char* label;
  int32_t kind;
  int32_t index;
  const char* longName;
  float minimum, maximum, step, defaultValue;
};

struct TOut {
  const char* label;
  int32_t kind;
  int32_t index;
};

struct TRecord {
  TModuleType type;
  const char* name;
  int32_t nameIsUser, picture, panelView, eventOutputs, audioInputs, stateWords, startsMono,
      monoSwitchable, helpIsUser;
  std::vector<TIn> ins;
  std::vector<TOut> outs;
};

const float kNone = -9999.0f;  // range not given for this entry

std::vector<TRecord> FullRecords() {
  return {
      {kTypeAudioSum2, "+", 0, 0, kViewNone, 0, 2, 1, 0, 1, 0,
       {{"", 1, 0, "Add 1", -1, 1, 0.02f, 0}, {"", 1, 1, "Add 2", -1, 1, 0.02f, 0}},
       {{"", 1, 0}}},
      {kTypeSawtooth, "Sawtooth", 1, 8060, kViewNone, 0, 1, 3, 0, 1, 0,
       {{"P", 3, 35, "Pitch", 0, 127, 1, 60}, {"A", 1, 0, "Ampl", 0, 1, 0.01f, 1}},
       {{"Out", 1, 2}}},
      {kTypeFourPoleFilterFm, "4-Pole Filter", 1, 0, kViewGraph, 0, 2, 9, 0, 1, 1,
       {{"P", 3, 34, "P Cutoff", 20, 120, 1, 70},
        {"F", 1, 1, "F Cutoff", 0, 5000, 50, 0},
        {"Res", 3, 53, "Reson", 0, 0.98f, 0.01f, 0},
        {"In", 1, 0, "In", -1, 1, 0.02f, 0}},
       {{"HP2", 1, 1}, {"BP2", 1, 2}, {"LP2", 1, 3}, {"BP4", 1, 6}, {"BL4", 1, 7}, {"LP4", 1, 8}}},
      {kTypeAdsrEnv, "ADSR - Env", 1, 0, kViewGraph, 0, 0, 10, 0, 1, 0,
       {{"G", 3, 63, "Gate", 0, 1, 1, 0},
        {"A", 3, 67, "Attack", 0, 80, 1, 40},
        {"D", 3, 68, "Decay", 0, 80, 1, 40},
        {"S", 3, 71, "Sustain", 0, 1, 0.01f, 0.5f},
        {"R", 3, 70, "Release", 0, 80, 1, 40}},
       {{"Out", 1, 0}}},
      // The sampler's record holds pointers: its size is the layout's.
      {kTypeSampler, "Sampler", 1, 8085, kViewFile, 0, 1, QV_WORDS_OF(SampleVoiceState), 0, 1, 1,
       {{"P", 3, 129, "Pitch", 0, 127, 1, 60},
        {"Trig", 3, 130, "Trigger", 0, 1, 0, 0},
        {"A", 1, 0, "Ampl", 0, 1, 0.01f, 1}},
       {{"Out", 1, 10}}},
      {kTypeScope, "Scope", 1, 0, kViewGraph, 0, 1, QV_WORDS_OF(ScopeVoiceState), 1, 0, 1,
       {{"Trg", 2, 139, "Trigger", kNone, kNone, kNone, kNone},
        {"TP", 2, 140, "T-Pos", 0, 10, 0.1f, 0},
        {"TS", 2, 141, "T-Scale", 1, 10, 0.1f, 1},
        {"YP", 2, 142, "Y-Pos", -5, 5, 0.1f, 0},
        {"YS", 2, 143, "Y-Scale", 1, 10, 0.1f, 1},
        {"In", 0, 0, "In", -1, 1, 0.02f, 0}},
       {}},
      {kTypeFader, "Fader", 1, 0, kViewFader, 1, 0, 1, 1, 0, 1, {}, {{"", 2, 0}}},
      {kTypeAudioSwitch2, "Switch 2", 1, 8099, kViewSwitch, 0, 0, 0, 0, 0, 1,
       {{"In 1", 1, -1, "In 1", -1, 1, 0.02f, 0}, {"In 2", 1, -1, "In 2", -1, 1, 0.02f, 0}},
       {{"", 1, -1}}},
  };
}

TEST(CatalogueRecords, FullySpecifiedRecordsMatchFieldByField) {
  for (const TRecord& r : FullRecords()) {
    SCOPED_TRACE(std::to_string(r.type.category) + ":" + std::to_string(r.type.type) + " " + r.name);
    const KModulDef* d = FindModulDef(nullptr, r.type);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, r.name);
    EXPECT_EQ(d->nameIsUser, r.nameIsUser);
    EXPECT_EQ(d->picture, r.picture);
    EXPECT_EQ(d->panelView, r.panelView);
    EXPECT_EQ(d->eventOutputs, r.eventOutputs);
    EXPECT_EQ(d->audioInputs, r.audioInputs);
    EXPECT_EQ(d->stateWords, r.stateWords);
    EXPECT_EQ(d->startsMono, r.startsMono);
    EXPECT_EQ(d->monoSwitchable, r.monoSwitchable);
    EXPECT_EQ(d->portsApply, 1);
    EXPECT_EQ(d->helpIsUser, r.helpIsUser);
    ASSERT_EQ(d->inPorts->count, int32_t(r.ins.size()));
    for (size_t i = 0; i < r.ins.size(); ++i) {
      const KPortDef& p = (*d->inPorts)[int32_t(i)];
      const TIn& e = r.ins[i];
      SCOPED_TRACE(std::string("in-port ") + e.label);
      EXPECT_STREQ(p.label, e.label);
      EXPECT_EQ(p.kind, e.kind);
      EXPECT_EQ(p.index, e.index);
      EXPECT_STREQ(p.longName, e.longName);
      EXPECT_EQ(p.labelIsUser, r.type.category == kCatSwitch ? 1 : 0);
      EXPECT_EQ(p.helpIsUser, 0);
      if (e.minimum != kNone) {
        EXPECT_FLOAT_EQ(p.minimum, e.minimum);
        EXPECT_FLOAT_EQ(p.maximum, e.maximum);
        EXPECT_FLOAT_EQ(p.step, e.step);
        EXPECT_FLOAT_EQ(p.defaultValue, e.defaultValue);
      }
    }
    ASSERT_EQ(d->outPorts->count, int32_t(r.outs.size()));
    for (size_t i = 0; i < r.outs.size(); ++i) {
      const KPortDef& p = (*d->outPorts)[int32_t(i)];
      EXPECT_STREQ(p.label, r.outs[i].label);
      EXPECT_EQ(p.kind, r.outs[i].kind);
      EXPECT_EQ(p.index, r.outs[i].index);
    }
  }
}

TEST(CatalogueRecords, FaderOutputAndScopeScalesCarryTheirExtraWords) {
  const KModulDef* fader = FindModulDef(nullptr, kTypeFader);
  EXPECT_STREQ((*fader->outPorts)[0].help, "Output for the control value.");
  const KModulDef* scope = FindModulDef(nullptr, kTypeScope);
  uint32_t one;
  const float f = 1.0f;
  std::memcpy(&one, &f, sizeof one);
  for (int32_t i = 0; i < scope->inPorts->count; ++i) {
    const KPortDef& p = (*scope->inPorts)[i];
    const bool scale = !std::strcmp(p.label, "TS") || !std::strcmp(p.label, "YS");
    EXPECT_EQ(p.reserved, scale ? one : 0u) << p.label;
  }
}

struct TPlace {
  TModuleType type;
  bool in;
  const char* label;
  int32_t index;
};

// The places of inputs and outputs that types with a layout of their own keep.
const TPlace kPlaces[] = {
    {kTypeStaticDelay, true, "In", 0}, {kTypeStaticDelay, false, "Out", 3},
    {kTypeTapedeck1, true, "In", 0}, {kTypeTapedeck1, false, "Out", 0},
    {kTypeTapedeck2, true, "In L", 0}, {kTypeTapedeck2, true, "In R", 1}, {kTypeTapedeck2, false, "L", 8},
    {kTypeTapedeck2, false, "R", 9},
    {kTypeModDelay, true, "Dly", 1}, {kTypeModDelay, true, "In", 0}, {kTypeModDelay, false, "Out", 3},
    {kTypeSampler, true, "A", 0}, {kTypeSampler, false, "Out", 10},
    {kTypeSamplerFm, true, "F", 1}, {kTypeSamplerFm, true, "St", 2}, {kTypeSamplerFm, true, "A", 0},
    {kTypeSamplerFm, false, "Out", 10},
    {kTypeSamplerLoop, true, "Sel", 3}, {kTypeSamplerLoop, true, "F", 1}, {kTypeSamplerLoop, true, "St", 2},
    {kTypeSamplerLoop, true, "LS", 4}, {kTypeSamplerLoop, true, "LL", 5}, {kTypeSamplerLoop, true, "A", 0},
    {kTypeSamplerLoop, false, "L", 10}, {kTypeSamplerLoop, false, "R", 11},
    {kTypeSampleLookup, true, "Pos", 1}, {kTypeSampleLookup, true, "A", 0}, {kTypeSampleLookup, false, "L", 10},
    {kTypeSampleLookup, false, "R", 11},
    {kTypeScope, true, "In", 0},
    {kTypeDiffuserDelay, true, "In", 0}, {kTypeDiffuserDelay, false, "Out", 3},
    {kTypeGrainDelay, true, "P", 1}, {kTypeGrainDelay, true, "Dly", 2}, {kTypeGrainDelay, true, "Gr", 3},
    {kTypeGrainDelay, true, "Sm", 4}, {kTypeGrainDelay, true, "Pan", 5}, {kTypeGrainDelay, true, "A", 6},
    {kTypeGrainDelay, true, "In", 0}, {kTypeGrainDelay, false, "L", 14}, {kTypeGrainDelay, false, "R", 15},
    {kTypeBeatLoop, true, "P", 6}, {kTypeBeatLoop, true, "Sel", 3}, {kTypeBeatLoop, true, "St", 2},
    {kTypeBeatLoop, true, "LS", 4}, {kTypeBeatLoop, true, "LL", 5}, {kTypeBeatLoop, true, "SO", 9},
    {kTypeBeatLoop, true, "Sm", 10}, {kTypeBeatLoop, true, "Pan", 11}, {kTypeBeatLoop, true, "A", 0},
    {kTypeBeatLoop, false, "L", 10}, {kTypeBeatLoop, false, "R", 11},
    {kTypeResynth, true, "P", 6}, {kTypeResynth, true, "Sel", 3}, {kTypeResynth, true, "St", 2},
    {kTypeResynth, true, "LS", 4}, {kTypeResynth, true, "LL", 5}, {kTypeResynth, true, "Sp", 7},
    {kTypeResynth, true, "Gr", 8}, {kTypeResynth, true, "SO", 9}, {kTypeResynth, true, "Sm", 10},
    {kTypeResynth, true, "Pan", 11}, {kTypeResynth, true, "A", 0}, {kTypeResynth, false, "L", 10},
    {kTypeResynth, false, "R", 11},
    {kTypePitchFormer, true, "P", 6}, {kTypePitchFormer, true, "Sel", 3}, {kTypePitchFormer, true, "St", 2},
    {kTypePitchFormer, true, "LS", 4}, {kTypePitchFormer, true, "LL", 5}, {kTypePitchFormer, true, "Sp", 7},
    {kTypePitchFormer, true, "FS", 12}, {kTypePitchFormer, true, "SO", 9}, {kTypePitchFormer, true, "Sm", 10},
    {kTypePitchFormer, true, "Pan", 11}, {kTypePitchFormer, true, "A", 0}, {kTypePitchFormer, false, "L", 10},
    {kTypePitchFormer, false, "R", 11},
    {kTypeDemux, true, "Len", 0}, {kTypeDemux, true, "0", 1}, {kTypeDemux, true, "1", 2}, {kTypeDemux, true, "2", 3},
    {kTypeDemux, true, "3", 4}, {kTypeDemux, true, "4", 5}, {kTypeDemux, true, "5", 6}, {kTypeDemux, true, "6", 7},
    {kTypeDemux, true, "7", 8}, {kTypeDemux, true, "8", 9}, {kTypeDemux, true, "9", 10}, {kTypeDemux, true, "10", 11},
    {kTypeDemux, true, "11", 12}, {kTypeDemux, true, "12", 13}, {kTypeDemux, true, "13", 14},
    {kTypeDemux, true, "14", 15}, {kTypeDemux, true, "15", 16},
};

const KPortDef* FindPort(const KPortTable* table, const char* label) {
  for (int32_t i = 0; i < table->count; ++i)
    if (!std::strcmp((*table)[i].label, label)) return &(*table)[i];
  return nullptr;
}

TEST(CatalogueRecords, StartUpFillPlacesPortsOnTheLayouts) {
  EXPECT_EQ(sizeof kPlaces / sizeof kPlaces[0], 95u);
  InitModulDefs();  // already run at start-up; a second run changes nothing
  for (const TPlace& place : kPlaces) {
    const KModulDef* d = FindModulDef(nullptr, place.type);
    const KPortDef* p = FindPort(place.in ? d->inPorts : d->outPorts, place.label);
    ASSERT_NE(p, nullptr) << place.type.type << " " << place.label;
    EXPECT_EQ(p->index, place.index) << place.type.type << (place.in ? " in " : " out ") << place.label;
  }
}

// Every port of those types that the fill does not place keeps a real index
// of its own (event ids, event-output slots), so nothing is left at -1.
TEST(CatalogueRecords, NoPortOfAnEngineTypeIsLeftUnplaced) {
  for (TModuleType type : {kTypeStaticDelay, kTypeTapedeck1, kTypeTapedeck2, kTypeModDelay, kTypeSampler,
                           kTypeSamplerFm, kTypeSamplerLoop, kTypeSampleLookup, kTypeScope, kTypeDiffuserDelay,
                           kTypeGrainDelay, kTypeBeatLoop, kTypeResynth, kTypePitchFormer, kTypeDemux}) {
    const KModulDef* d = FindModulDef(nullptr, type);
    for (const KPortTable* t : {d->inPorts, d->outPorts})
      for (int32_t i = 0; i < t->count; ++i)
        EXPECT_GE((*t)[i].index, 0) << type.type << " " << (*t)[i].label;
  }
}

TEST(CatalogueRecords, AudioInputCountsCoverTheInternalFeeds) {
  struct TCount {
    TModuleType type;
    int32_t audioInputs;
  };
  const TCount counts[] = {{kTypeStaticDelay, 5}, {kTypeBeatLoop, 12}, {kTypeResynth, 12},
                           {kTypePitchFormer, 13}, {kTypeDemux, 17},   {kTypeTestModule, 5}};
  for (const TCount& c : counts)
    EXPECT_EQ(FindModulDef(nullptr, c.type)->audioInputs, c.audioInputs) << c.type.type;
}

}  // namespace
