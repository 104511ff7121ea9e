// The file-existence test: whether a file can be opened for reading.
#ifndef ZQ_PLATFORM_FILE_H
#define ZQ_PLATFORM_FILE_H

#include "zqxmlu.h"

namespace zq {

// Opens the UTF-16 path for reading (mode "r") and closes it again; true when the open succeeded.
// A file that exists but cannot be opened counts as absent. The path is converted to UTF-8 (an
// unpaired surrogate becomes U+FFFD); on POSIX systems every "\" is taken as "/", so Windows-style
// paths name the same files there. A NULL or empty path is never openable.
bool CanOpenForReading(const ZqWChar* path);

}  // namespace zq

#endif  // ZQ_PLATFORM_FILE_H
