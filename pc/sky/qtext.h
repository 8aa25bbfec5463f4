// Text at the Qt boundary: TStr holds bytes, Qt holds UTF-16.
#pragma once

#include "src/base/str.h"

#include <QString>

#include <string>

namespace sky {

// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString ToQString(const std::string& bytes);
inline QString ToQString(const TStr& text) { return ToQString(text.Std()); }
// UTF-8 bytes.
std::string FromQString(const QString& text);

} // namespace sky
