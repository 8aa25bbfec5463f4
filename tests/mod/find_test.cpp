// Type lookup: fall-through between categories, shared records, records
// without an entry and the records the audio driver supplies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/mod/modul_def.h"

namespace {

class TFakeDriver final : public IDriverModulDefs {
public:
  explicit TFakeDriver(int32_t outputs) : outputs_(outputs) {}
  const KModulDef* GetAudioInDef() const override { return GetAudioInModulDef(); }
  const KModulDef* GetAudioOutDef() const override { return GetAudioOutModulDef(outputs_); }

private:
  int32_t outputs_;
};

const IDriverModulDefs* currentDriver = nullptr;
const IDriverModulDefs* DriverOf(const KSModul*) { return currentDriver; }

class FindModulDefTest : public ::testing::Test {
protected:
  void TearDown() override {
    currentDriver = nullptr;
    SetDriverDefsLookup(nullptr);
  }
  void UseDriver(const IDriverModulDefs* driver) {
    currentDriver = driver;
    SetDriverDefsLookup(&DriverOf);
  }
  static const KModulDef* Find(int32_t category, int32_t index) {
    return FindModulDef(nullptr, category, index);
  }
  static const KModulDef* Find(TModuleType type) { return Find(type.category, type.type); }
  static const KModulDef* Macro() { return Find(kTypeMacro); }
};

TEST_F(FindModulDefTest, MissingIndexesFallThroughToTheNextCategory) {
  struct TCase {
    int32_t category, index;   // asked for
    int32_t toCategory, toIndex;  // answered by
  };
  const TCase cases[] = {
      {1, 2, 0, 2},    {1, 27, 0, 27},  {1, 14, 0, 14},  {1, 15, 0, 15}, {1, 16, 0, 16},
      {1, 25, 0, 25},  {1, 199, 0, 199}, {0, 23, 4, 0},  {0, 195, 4, 0}, {0, 196, 4, 0},
      {0, 200, 4, 0},  {7, 15, 4, 0},   {0, -1, 4, 0},   {1, -5, 4, 0},  {7, -1, 4, 0},
      {1, 23, 1, 23},  {4, 77, 4, 0},   {4, -3, 4, 0},   {9, 12345, 9, 0}, {1, 300, 4, 0},
  };
  for (const TCase& c : cases) {
    const KModulDef* expected = Find(c.toCategory, c.toIndex);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(Find(c.category, c.index), expected) << c.category << ":" << c.index;
  }
  EXPECT_STREQ(Find(1, 2)->name, "+");
  EXPECT_EQ(Find(1, 2)->inPorts->count, 4);
  EXPECT_STREQ(Find(1, 27)->name, "Sequencer");
  EXPECT_STREQ(Macro()->name, "Macro");
  EXPECT_STREQ(Find(kTypeInstrument)->name, "Instrument");
}

TEST_F(FindModulDefTest, CategoriesAndIndexesWithoutARecordAnswerNull) {
  const std::pair<int32_t, int32_t> cases[] = {{5, 4},  {6, 7},  {5, -1}, {6, -1}, {-1, 0},
                                               {2, 0},  {3, 0},  {8, 0},  {10, 0}, {100, 1},
                                               {5, 1000}};
  for (auto [category, index] : cases)
    EXPECT_EQ(Find(category, index), nullptr) << category << ":" << index;
}

TEST_F(FindModulDefTest, TerminalsHaveOneAudioAndOneEventRecordPerDirection) {
  EXPECT_EQ(Find(kTypeAudioMonoInTerminal), Find(kTypeAudioPolyInTerminal));
  EXPECT_EQ(Find(kTypeEventMonoInTerminal), Find(kTypeEventPolyInTerminal));
  EXPECT_NE(Find(kTypeAudioMonoInTerminal), Find(kTypeEventMonoInTerminal));
  EXPECT_EQ((*Find(kTypeAudioMonoInTerminal)->outPorts)[0].kind, kAudioPoly);
  EXPECT_EQ((*Find(kTypeEventMonoInTerminal)->outPorts)[0].kind, kEventPoly);
  EXPECT_STREQ((*Find(kTypeAudioPolyOutTerminal)->inPorts)[0].label, "Out");
  EXPECT_EQ((*Find(kTypeEventPolyOutTerminal)->inPorts)[0].kind, kEventPoly);
  EXPECT_FLOAT_EQ((*Find(kTypeEventPolyOutTerminal)->inPorts)[0].step, 0.01f);
  EXPECT_STREQ((*Find(kTypeEventMonoInTerminal)->outPorts)[0].help, "Output of the event in terminal.");
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(Find(5, i)->eventOutputs, 0);
}

TEST_F(FindModulDefTest, SharedRecordsAnswerTheSameObject) {
  EXPECT_EQ(Find(kTypeLamp), Find(kTypeLampTwin));
  EXPECT_STREQ(Find(kTypeLamp)->name, "Lmp");
  EXPECT_EQ(Find(kTypeClockStartStop), Find(kTypeClockStartStopTwin));
  EXPECT_STREQ(Find(kTypeClockStartStop)->name, "Start");
}

TEST_F(FindModulDefTest, SwitchesAreFoundByIndex) {
  const char* const names[15] = {"Switch 1", "Switch 2", "Switch 3", "Switch 4", "Switch 5",
                                 "Switch 6", "Switch 1", "Switch 2", "Switch 3", "Switch 4",
                                 "Switch 5", "Switch 6", "Switch 8", "Switch 8", "Sw. 2x2"};
  for (int32_t i = 0; i < 15; ++i) EXPECT_STREQ(Find(7, i)->name, names[i]) << i;
  EXPECT_EQ(Find(kTypeAudioSwitch6)->inPorts->count, 6);
  EXPECT_EQ((*Find(kTypeEventSwitch1)->inPorts)[0].kind, kEventPoly);
}

TEST_F(FindModulDefTest, DriverTypesHaveNoRecordWithoutADriver) {
  for (TModuleType index : {kTypeOldAudioOutA, kTypeOldAudioOutB, kTypeOldAudioOutC, kTypeAudioIn, kTypeAudioOut}) {
    EXPECT_EQ(Find(index), nullptr) << index.type;
    EXPECT_EQ(Find(kCatSource, index.type), nullptr) << index.type;
  }
}

TEST_F(FindModulDefTest, DriverTypesTakeTheDriversRecords) {
  struct TCase {
    int32_t outputs;
    std::vector<const char*> inLabels;  // empty: no Audio Out record
    int32_t stateWords;
  };
  const TCase cases[] = {
      {1, {"Tun", "Lvl", "In"}, 4},
      {2, {"Tun", "Lvl", "L", "R"}, 7},
      {4, {}, 0},
      {8, {"Tun", "Lvl", "1", "2", "3", "4", "5", "6", "7", "8"}, 25},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.outputs) + " outputs");
    TFakeDriver driver(c.outputs);
    UseDriver(&driver);
    const KModulDef* in = Find(kTypeAudioIn);
    ASSERT_NE(in, nullptr);
    EXPECT_STREQ(in->name, "Audio In");
    EXPECT_EQ(in->picture, 8001);
    EXPECT_EQ(in->inPorts->count, 0);
    ASSERT_EQ(in->outPorts->count, 2);
    EXPECT_STREQ((*in->outPorts)[0].label, "L");
    EXPECT_STREQ((*in->outPorts)[1].label, "R");
    EXPECT_EQ(in->stateWords, 6);
    EXPECT_EQ(in->startsMono, 1);
    for (TModuleType index : {kTypeOldAudioOutA, kTypeOldAudioOutB, kTypeOldAudioOutC, kTypeAudioOut}) {
      const KModulDef* out = Find(index);
      if (c.inLabels.empty()) {
        EXPECT_EQ(out, nullptr) << index.type;
        continue;
      }
      ASSERT_NE(out, nullptr) << index.type;
      EXPECT_STREQ(out->name, "Audio Out");
      EXPECT_EQ(out->picture, 8010);
      EXPECT_EQ(out->stateWords, c.stateWords);
      EXPECT_EQ(out->startsMono, 1);
      EXPECT_EQ(out->nameIsUser, 0);
      ASSERT_EQ(out->inPorts->count, int32_t(c.inLabels.size()));
      for (size_t i = 0; i < c.inLabels.size(); ++i)
        EXPECT_STREQ((*out->inPorts)[int32_t(i)].label, c.inLabels[i]);
      EXPECT_EQ((*out->inPorts)[0].index, 118);  // tune
      EXPECT_EQ((*out->inPorts)[1].index, 43);   // master level
      EXPECT_EQ(out->audioInputs, c.outputs);
    }
    EXPECT_EQ(Find(kCatSource, kTypeAudioIn.type), in);  // a missing source index reaches the driver too
  }
}

}  // namespace
