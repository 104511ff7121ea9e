#include "platform/file.h"

#include <cstdio>
#include <memory>

#include "platform/utf.h"

namespace zq {

bool CanOpenForReading(const ZqWChar* path) {
    if (!path || !path[0]) return false;
#if defined(_WIN32)
    std::FILE* f = nullptr;
    if (_wfopen_s(&f, path, L"r") != 0 || !f) return false;
#else
    // Paths up to a few hundred units convert in a local buffer; longer ones on the heap.
    char local[1024];
    std::unique_ptr<char[]> heap;
    char* utf8 = local;
    const int need = Utf16ToUtf8(path, -1, nullptr, 0);
    if (need <= 0) return false;
    if (static_cast<size_t>(need) > sizeof local) {
        heap = std::make_unique<char[]>(static_cast<size_t>(need));
        utf8 = heap.get();
    }
    if (Utf16ToUtf8(path, -1, utf8, need) != need) return false;
    for (char* p = utf8; *p; ++p) {
        if (*p == '\\') *p = '/';
    }
    std::FILE* f = std::fopen(utf8, "r");
    if (!f) return false;
#endif
    std::fclose(f);
    return true;
}

}  // namespace zq
