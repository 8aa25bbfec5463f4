// Command ids that the structure and panel windows share.
#pragma once

#include <cstdint>

namespace cmd {
constexpr int32_t kCut = 1550;
constexpr int32_t kCopy = 1551;
constexpr int32_t kPaste = 1552;
constexpr int32_t kDelete = 1553;
constexpr int32_t kSelectAll = 1554;
constexpr int32_t kGotoParent = 3022;
// The panel window's, also in the main menu.
constexpr int32_t kStoreSnapshot = 3000, kLearn = 3001, kLock = 3002, kGotoStructure = 3021;
} // namespace cmd
