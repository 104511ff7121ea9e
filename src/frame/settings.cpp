// Module settings: the log root, kept in 8-bit and wide form.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include "frame/alloc.h"
#include "frame/tag.h"
#include "platform/fmt.h"
#include "platform/utf.h"
#include "zqxmlu.h"

namespace {

constexpr char kDefaultRoot[] = "c:\\zq\\";
constexpr ZqWChar kDefaultRootW[] = {'c', ':', '\\', 'z', 'q', '\\', 0};

// Paths up to 260 bytes convert in a local buffer.
constexpr size_t kLocalUnits = 261;

// The two roots are replaced together by ZqXmlU_SetLogRoot; the pointers are atomic so that a
// reader never sees a torn pointer, but a reader must still not run while the roots are replaced
// or released (the old strings are freed).
std::atomic<char*> g_root{nullptr};
std::atomic<ZqWChar*> g_rootW{nullptr};

void Release(char* narrow, ZqWChar* wide) {
    void* w = wide;
    void* n = narrow;
    ZqXmlU_Free(&w);
    ZqXmlU_Free(&n);
}

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_SetLogRoot(const char* path) {
    if (!path) {
        ZqXmlU_FreeStorage();
        return;
    }
    const size_t n = std::strlen(path);
    // The conversion counts in int: a longer path is stored whole but converted only so far.
    const int units = static_cast<int>(std::min<size_t>(n + 1, INT_MAX));
    auto* narrow = static_cast<char*>(zq::AllocBlock(n + 1, 1, zq::kTagLogRoot));
    auto* wide = static_cast<ZqWChar*>(zq::AllocBlock(n + 1, sizeof(ZqWChar), zq::kTagLogRoot));
    {
        // UTF-8 never yields more UTF-16 units than it has bytes, so n + 1 units always suffice.
        zq::Scratch<ZqWChar, kLocalUnits> temp(n + 1, true);
        if (zq::Utf8ToUtf16(path, units, temp.get(), units) == 0) temp.get()[0] = 0;
        zq::CopyTo(narrow, n + 1, path);
        zq::CopyTo(wide, n + 1, temp.get());
    }

    Release(g_root.exchange(narrow), g_rootW.exchange(wide));
}

const char* ZQ_CALL ZqXmlU_GetLogRoot(void) {
    const char* root = g_root.load(std::memory_order_acquire);
    return root ? root : kDefaultRoot;
}

const ZqWChar* ZQ_CALL ZqXmlU_GetLogRootW(void) {
    const ZqWChar* root = g_rootW.load(std::memory_order_acquire);
    return root ? root : kDefaultRootW;
}

void ZQ_CALL ZqXmlU_FreeStorage(void) {
    ZqWChar* wide = g_rootW.exchange(nullptr);
    char* narrow = g_root.exchange(nullptr);
    Release(narrow, wide);
}

}  // extern "C"
