#pragma once

// The windows' texts in the chosen language (platform/translate.h), as Qt strings.

#include <QString>

#include "platform/translate.h"

namespace nandell {

/// `source` in the chosen language (Tr) as a QString.
inline QString QTr(const char* source) {
  return QString::fromUtf8(Tr(source));
}

}  // namespace nandell
