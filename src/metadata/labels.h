// Label documents seen from inside the library: the clean-up that ZqXmlU_MakeMsdisXml applies to a
// label document before it reads it, in the form of any processor tier (for the differential
// fuzz target of the tiers).
#ifndef ZQ_METADATA_LABELS_H
#define ZQ_METADATA_LABELS_H

#include <cstddef>

#include "platform/cpu.h"

namespace zq {

// Cleans a NUL-terminated label document up in place with the forms of `tier`, which the
// processor must have: every CR or LF is dropped together with the character after it (a line
// end that closes the text drops alone), then every double quote that neither follows "=" nor
// precedes "><" becomes the byte 0x01. Returns the new length.
size_t CleanUpLabelsOn(cpu::Tier tier, char* text);

}  // namespace zq

#endif  // ZQ_METADATA_LABELS_H
