// The substring search and the element end of the scanners, run in the form of a given tier: the
// exports pass cpu::Active().tier, the tests and fuzz targets every tier the processor has (a tier
// it lacks must not be asked for), to compare each with the scalar form.
#ifndef ZQ_SCAN_SCANNERS_H
#define ZQ_SCAN_SCANNERS_H

#include <cstddef>

#include "platform/cpu.h"
#include "zqxmlu.h"

namespace zq {

// The first occurrence of target (n = strlen(target) >= 1) at or after s, or NULL when the text
// ends first. Reads nothing past the text's NUL.
const char* FindTextOn(cpu::Tier tier, const char* s, const char* target, size_t n);

// ZqXmlU_FindXmlEnd's scan of text (text[0] is "<") in the form of a given tier.
ZqLong XmlEndOn(cpu::Tier tier, const char* text);

}  // namespace zq

#endif  // ZQ_SCAN_SCANNERS_H
