#pragma once

#include "entrysource.h"

namespace vellomar {

// What becomes of a browser's entries as the list and the dig see them: only whole responses
// are rows; each is named from its address, content type and first decoded bytes; its size
// is the decoded one; its bytes are read decoded, or as stored, with why, when decoding fails.
BodyHandling decodedbodies();

} // namespace vellomar
