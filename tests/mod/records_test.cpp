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
  int32_t category, index;
  const char* name;
  int32_t nameIsUser, picture, panelView, eventOutputs, audioInputs, stateWords, startsMono,
      monoSwitchable, helpIsUser;
  std::vector<TIn> ins;
  std::vector<TOut> outs;
};

const float kNone = -9999.0f;  // range not given for this entry

std::vector<TRecord> FullRecords() {
  return {
      {0, 0, "+", 0, 0, kViewNone, 0, 2, 1, 0, 1, 0,
       {{"", 1, 0, "Add 1", -1, 1, 0.02f, 0}, {"", 1, 1, "Add 2", -1, 1, 0.02f, 0}},
       {{"", 1, 0}}},
      {0, 88, "Sawtooth", 1, 8060, kViewNone, 0, 1, 3, 0, 1, 0,
       {{"P", 3, 35, "Pitch", 0, 127, 1, 60}, {"A", 1, 0, "Ampl", 0, 1, 0.01f, 1}},
       {{"Out", 1, 2}}},
      {0, 43, "4-Pole Filter", 1, 0, kViewGraph, 0, 2, 9, 0, 1, 1,
       {{"P", 3, 34, "P Cutoff", 20, 120, 1, 70},
        {"F", 1, 1, "F Cutoff", 0, 5000, 50, 0},
        {"Res", 3, 53, "Reson", 0, 0.98f, 0.01f, 0},
        {"In", 1, 0, "In", -1, 1, 0.02f, 0}},
       {{"HP2", 1, 1}, {"BP2", 1, 2}, {"LP2", 1, 3}, {"BP4", 1, 6}, {"BL4", 1, 7}, {"LP4", 1, 8}}},
      {0, 38, "ADSR - Env", 1, 0, kViewGraph, 0, 0, 10, 0, 1, 0,
       {{"G", 3, 63, "Gate", 0, 1, 1, 0},
        {"A", 3, 67, "Attack", 0, 80, 1, 40},
        {"D", 3, 68, "Decay", 0, 80, 1, 40},
        {"S", 3, 71, "Sustain", 0, 1, 0.01f, 0.5f},
        {"R", 3, 70, "Release", 0, 80, 1, 40}},
       {{"Out", 1, 0}}},
      // The sampler's record holds pointers: its size is the layout's.
      {0, 130, "Sampler", 1, 8085, kViewFile, 0, 1, QV_WORDS_OF(SampleVoiceState), 0, 1, 1,
       {{"P", 3, 129, "Pitch", 0, 127, 1, 60},
        {"Trig", 3, 130, "Trigger", 0, 1, 0, 0},
        {"A", 1, 0, "Ampl", 0, 1, 0.01f, 1}},
       {{"Out", 1, 10}}},
      {0, 165, "Scope", 1, 0, kViewGraph, 0, 1, QV_WORDS_OF(ScopeVoiceState), 1, 0, 1,
       {{"Trg", 2, 139, "Trigger", kNone, kNone, kNone, kNone},
        {"TP", 2, 140, "T-Pos", 0, 10, 0.1f, 0},
        {"TS", 2, 141, "T-Scale", 1, 10, 0.1f, 1},
        {"YP", 2, 142, "Y-Pos", -5, 5, 0.1f, 0},
        {"YS", 2, 143, "Y-Scale", 1, 10, 0.1f, 1},
        {"In", 0, 0, "In", -1, 1, 0.02f, 0}},
       {}},
      {1, 1, "Fader", 1, 0, kViewFader, 1, 0, 1, 1, 0, 1, {}, {{"", 2, 0}}},
      {7, 1, "Switch 2", 1, 8099, kViewSwitch, 0, 0, 0, 0, 0, 1,
       {{"In 1", 1, -1, "In 1", -1, 1, 0.02f, 0}, {"In 2", 1, -1, "In 2", -1, 1, 0.02f, 0}},
       {{"", 1, -1}}},
  };
}

TEST(CatalogueRecords, FullySpecifiedRecordsMatchFieldByField) {
  for (const TRecord& r : FullRecords()) {
    SCOPED_TRACE(std::to_string(r.category) + ":" + std::to_string(r.index) + " " + r.name);
    const KModulDef* d = FindModulDef(nullptr, r.category, r.index);
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
      EXPECT_EQ(p.labelIsUser, r.category == 7 ? 1 : 0);
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
  const KModulDef* fader = FindModulDef(nullptr, 1, 1);
  EXPECT_STREQ((*fader->outPorts)[0].help, "Output for the control value.");
  const KModulDef* scope = FindModulDef(nullptr, 0, 165);
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
  int32_t type;
  bool in;
  const char* label;
  int32_t index;
};

// The places of inputs and outputs that types with a layout of their own keep.
const TPlace kPlaces[] = {
    {79, true, "In", 0},     {79, false, "Out", 3},
    {80, true, "In", 0},     {80, false, "Out", 0},
    {81, true, "In L", 0},   {81, true, "In R", 1},   {81, false, "L", 8},    {81, false, "R", 9},
    {120, true, "Dly", 1},   {120, true, "In", 0},    {120, false, "Out", 3},
    {130, true, "A", 0},     {130, false, "Out", 10},
    {131, true, "F", 1},     {131, true, "St", 2},    {131, true, "A", 0},    {131, false, "Out", 10},
    {135, true, "Sel", 3},   {135, true, "F", 1},     {135, true, "St", 2},   {135, true, "LS", 4},
    {135, true, "LL", 5},    {135, true, "A", 0},     {135, false, "L", 10},  {135, false, "R", 11},
    {136, true, "Pos", 1},   {136, true, "A", 0},     {136, false, "L", 10},  {136, false, "R", 11},
    {165, true, "In", 0},
    {166, true, "In", 0},    {166, false, "Out", 3},
    {169, true, "P", 1},     {169, true, "Dly", 2},   {169, true, "Gr", 3},   {169, true, "Sm", 4},
    {169, true, "Pan", 5},   {169, true, "A", 6},     {169, true, "In", 0},   {169, false, "L", 14},
    {169, false, "R", 15},
    {170, true, "P", 6},     {170, true, "Sel", 3},   {170, true, "St", 2},   {170, true, "LS", 4},
    {170, true, "LL", 5},    {170, true, "SO", 9},    {170, true, "Sm", 10},  {170, true, "Pan", 11},
    {170, true, "A", 0},     {170, false, "L", 10},   {170, false, "R", 11},
    {173, true, "P", 6},     {173, true, "Sel", 3},   {173, true, "St", 2},   {173, true, "LS", 4},
    {173, true, "LL", 5},    {173, true, "Sp", 7},    {173, true, "Gr", 8},   {173, true, "SO", 9},
    {173, true, "Sm", 10},   {173, true, "Pan", 11},  {173, true, "A", 0},    {173, false, "L", 10},
    {173, false, "R", 11},
    {174, true, "P", 6},     {174, true, "Sel", 3},   {174, true, "St", 2},   {174, true, "LS", 4},
    {174, true, "LL", 5},    {174, true, "Sp", 7},    {174, true, "FS", 12},  {174, true, "SO", 9},
    {174, true, "Sm", 10},   {174, true, "Pan", 11},  {174, true, "A", 0},    {174, false, "L", 10},
    {174, false, "R", 11},
    {197, true, "Len", 0},   {197, true, "0", 1},     {197, true, "1", 2},    {197, true, "2", 3},
    {197, true, "3", 4},     {197, true, "4", 5},     {197, true, "5", 6},    {197, true, "6", 7},
    {197, true, "7", 8},     {197, true, "8", 9},     {197, true, "9", 10},   {197, true, "10", 11},
    {197, true, "11", 12},   {197, true, "12", 13},   {197, true, "13", 14},  {197, true, "14", 15},
    {197, true, "15", 16},
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
    const KModulDef* d = FindModulDef(nullptr, 0, place.type);
    const KPortDef* p = FindPort(place.in ? d->inPorts : d->outPorts, place.label);
    ASSERT_NE(p, nullptr) << place.type << " " << place.label;
    EXPECT_EQ(p->index, place.index) << place.type << (place.in ? " in " : " out ") << place.label;
  }
}

// Every port of those types that the fill does not place keeps a real index
// of its own (event ids, event-output slots), so nothing is left at -1.
TEST(CatalogueRecords, NoPortOfAnEngineTypeIsLeftUnplaced) {
  for (int32_t type : {79, 80, 81, 120, 130, 131, 135, 136, 165, 166, 169, 170, 173, 174, 197}) {
    const KModulDef* d = FindModulDef(nullptr, 0, type);
    for (const KPortTable* t : {d->inPorts, d->outPorts})
      for (int32_t i = 0; i < t->count; ++i)
        EXPECT_GE((*t)[i].index, 0) << type << " " << (*t)[i].label;
  }
}

TEST(CatalogueRecords, AudioInputCountsCoverTheInternalFeeds) {
  struct TCount {
    int32_t type, audioInputs;
  };
  const TCount counts[] = {{79, 5}, {170, 12}, {173, 12}, {174, 13}, {197, 17}, {129, 5}};
  for (const TCount& c : counts)
    EXPECT_EQ(FindModulDef(nullptr, 0, c.type)->audioInputs, c.audioInputs) << c.type;
}

}  // namespace
