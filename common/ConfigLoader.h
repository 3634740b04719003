// The loader and the saver: they move a configuration tree through any driver. Both
// walk the tree with an explicit stack, so nesting depth is bounded only by memory.
#pragma once

#include "common/ConfigDriver.h"
#include "common/ConfigTree.h"

namespace orvanta::config {

inline constexpr int kNoLimit = -1;

// Reads tokens into section until the end of input, or until the close of the section
// the driver is in when called. With limit >= 0, returns once that many child sections
// have been read completely. False when the driver reports an error; what was read
// before stays in the tree.
bool loadSection(ConfigDriver& driver, Section& section, int limit = kNoLimit);

// Writes the children of section (not its own header) in order. Empty values and the
// kinds the driver does not carry are skipped. False when a driver call fails.
bool saveSection(ConfigDriver& driver, const Section& section);

}  // namespace orvanta::config
