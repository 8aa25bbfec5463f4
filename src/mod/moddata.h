// What a module's file record keeps beyond the tree, the engine and the
// sound objects: window opening numbers, the load mark of driver modules and
// the clock words of the sync source.
#pragma once

#include <cstdint>

struct KModulData {
  // Window opening numbers: 0 closed, else the order windows reopen in.
  int32_t panelOpenNo = 0;
  int32_t structOpenNo = 0;
  // Set by the reader on driver modules: 0 none, 1 to be removed, 2 to take
  // the place of the ensemble's own.
  int32_t loadMark = 0;
  // The two clock words of the sync source.
  int32_t syncWords[2] = {12, 6};
};
