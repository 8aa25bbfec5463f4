// Every module type of the catalogue can be placed from the Insert menu: a
// new type without its insert command fails here by its constant's name.
#include "src/volteon/inserts.h"

#include "src/mod/modul_def.h"
#include "tests/common/named_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InsertCensus, EveryCatalogueTypeHasAnInsertCommand) {
  // Types that no insert command places, and why.
  const TModuleType kNotInserted[] = {
      kTypeTestModule, kTypeUnitDelay, kTypeRpn, kTypeNrpn,  // files hold them; the menu offers none
      kTypeLampTwin, kTypeClockStartStopTwin,                // twins of "Lamp" and "Start/Stop"
      kTypeMacro, kTypeInstrument,                           // inserted from a file ("Macro...", "Instrument...")
      kTypeAudioMonoInTerminal, kTypeEventMonoInTerminal,    // the menu places the poly terminals,
      kTypeAudioMonoOutTerminal, kTypeEventMonoOutTerminal,  // which a user may switch to mono
  };
  for (const testkit::TNamedType& n : testkit::kNamedTypes) {
    const KModulDef* d = FindModulDef(nullptr, n.type);
    ASSERT_NE(d, nullptr) << n.constant;
    const std::string where = std::string(n.constant) + " (" + std::to_string(n.type.category) + ":" +
                              std::to_string(n.type.type) + " \"" + d->name + "\")";
    int32_t commands = 0;
    for (const TInsertCommand& c : InsertCommands()) commands += c.type == n.type ? 1 : 0;
    bool excepted = false;
    for (TModuleType t : kNotInserted) excepted = excepted || t == n.type;
    if (excepted) {
      EXPECT_EQ(commands, 0) << where << " has an insert command now: take it off the list of types not inserted";
    } else {
      EXPECT_GE(commands, 1) << where << " has no insert command: add its row to the Insert menu "
                             << "(src/volteon/inserts.cpp) and count it in kInsertCommandCount";
    }
  }
}

} // namespace
