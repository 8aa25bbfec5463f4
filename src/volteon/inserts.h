// The module insert commands of the structure window: one command id per
// module type a user can place, the "Modules" pop-up of its context menu and
// the main menu's "&Insert" pop-up.
#pragma once

#include "pc/sky/menu.h"

#include <QWidget>
#include "src/engine/module_types.h"
#include "src/volteon/commands.h"

#include <cstdint>
#include <vector>

constexpr int32_t kInsertCommandCount = 228;

struct TInsertCommand {
  int32_t id;
  const char* text;
  TModuleType type;
};

// The insert command of an id; null for an id that inserts nothing.
const TInsertCommand* FindInsertCommand(int32_t id);
// Every insert command, in menu order.
const std::vector<TInsertCommand>& InsertCommands();
// The entries of the "Modules" pop-up. The main menu lists the MIDI Out
// entries in id order and ends with the two file inserts.
std::vector<TMenuEntry> InsertMenuEntries(bool mainMenu);
