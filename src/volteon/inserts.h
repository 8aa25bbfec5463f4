// The module insert commands of the structure window: one command id per
// module type a user can place, the "Modules" pop-up of its context menu and
// the main menu's "&Insert" pop-up.
#pragma once

#include "pc/sky/menu.h"

#include <QWidget>
#include "src/engine/module_types.h"

#include <cstdint>
#include <vector>

namespace cmd {
constexpr int32_t kInsertFirst = 1600;
constexpr int32_t kInsertLast = 2863;
constexpr int32_t kInsertFader = 1600;
constexpr int32_t kInsertKnob = 1601;
constexpr int32_t kInsertSawtooth = 2000;
// The terminals: only inside a macro or an instrument.
constexpr int32_t kInsertTerminalFirst = 2860;
constexpr int32_t kInsertTerminalLast = 2863;
constexpr int32_t kInsertMacroFile = 3101;
constexpr int32_t kInsertInstrumentFile = 3102;
} // namespace cmd

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
