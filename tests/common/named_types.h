// Every catalogued type constant with its name as written in the code, so
// that a census test can say which constant lacks what.
#pragma once

#include "src/engine/module_types.h"

namespace testkit {

struct TNamedType {
  TModuleType type;
  const char* constant;
};

#define QV_NAMED_TYPE(name, category, index) {name, #name},
inline constexpr TNamedType kNamedTypes[] = {QV_CATALOGUE_MODULE_TYPES(QV_NAMED_TYPE)};
#undef QV_NAMED_TYPE

} // namespace testkit
