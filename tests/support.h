// Small helpers shared by the test programs.
#ifndef ZQ_TESTS_SUPPORT_H
#define ZQ_TESTS_SUPPORT_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "zqxmlu.h"

namespace zqtest {

// A writable tag ("test"), for exports that take char*.
inline char* Tag() {
    static char tag[] = "test";
    return tag;
}

// The text with its NUL in a heap block of exactly that size, writable for exports that take
// char*: AddressSanitizer reports any read past the NUL.
inline std::vector<char> Exact(const std::string& s) {
    return {s.c_str(), s.c_str() + s.size() + 1};
}

// A writable copy of a text, for exports that take char*.
struct Text {
    explicit Text(const std::string& s) : bytes(Exact(s)) {}
    char* get() { return bytes.data(); }
    operator char*() { return bytes.data(); }
    std::vector<char> bytes;
};

// Releases a tagged block at the end of a scope.
template <typename T>
struct Block {
    T* p = nullptr;
    ~Block() {
        void* v = p;
        ZqXmlU_Free(&v);
    }
};

// `size` writable bytes that end exactly where an inaccessible page begins, so that a read or
// write one byte past them faults in every build, sanitized or not. The bytes start zeroed.
class PageEnd {
  public:
    explicit PageEnd(size_t size) : size_(size) {
        const size_t page = PageSize();
        span_ = (size + page - 1) / page * page + page;
#if defined(_WIN32)
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, span_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_) VirtualProtect(base_ + span_ - page, page, PAGE_NOACCESS, &old);
#else
        void* m = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = m == MAP_FAILED ? nullptr : static_cast<char*>(m);
        if (base_) mprotect(base_ + span_ - page, page, PROT_NONE);
#endif
        if (!base_) std::abort();
    }
    // The bytes of `text` and its NUL, ending at the page.
    explicit PageEnd(const std::string& text) : PageEnd(text.size() + 1) {
        std::memcpy(data(), text.c_str(), text.size() + 1);
    }
    PageEnd(const PageEnd&) = delete;
    PageEnd& operator=(const PageEnd&) = delete;
    ~PageEnd() {
#if defined(_WIN32)
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, span_);
#endif
    }
    char* data() {
        return base_ + span_ - PageSize() - size_;
    }
    operator char*() {
        return data();
    }
    size_t size() const {
        return size_;
    }

  private:
    static size_t PageSize() {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    }
    char* base_ = nullptr;
    size_t span_ = 0;
    size_t size_ = 0;
};

// Whether LimitHeap can hold the heap on this platform.
inline bool CanLimitHeap() {
#if defined(_WIN32) && !defined(_WIN64)
    return true;
#elif defined(_WIN32)
    return false;  // a 64-bit Windows process has no address-space limit to set
#else
    return true;
#endif
}

// Lets the heap grow by about `headroom` bytes more, so that larger requests fail. Run it inside a
// death test: it lasts for the rest of the process. A 64-bit Linux process gets an address-space
// limit relative to its current size (which also holds under AddressSanitizer); a 32-bit process
// reserves its free address space except for pieces of at most `headroom` in all, none larger.
inline void LimitHeap(size_t headroom = size_t{512} << 20) {
    if (sizeof(void*) == 4) {
        std::vector<std::pair<void*, size_t>> held;
        for (size_t chunk = size_t{1} << 30; chunk >= (size_t{1} << 16);) {
#if defined(_WIN32)
            void* p = VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS);
#else
            void* p =
                mmap(nullptr, chunk, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED) p = nullptr;
#endif
            if (p) {
                held.emplace_back(p, chunk);
            } else {
                chunk /= 2;
            }
        }
        // Hand back the smallest pieces until the headroom is free again.
        size_t freed = 0;
        for (auto it = held.rbegin(); it != held.rend() && freed < headroom; ++it) {
            if (it->second > headroom - freed) continue;
#if defined(_WIN32)
            VirtualFree(it->first, 0, MEM_RELEASE);
#else
            munmap(it->first, it->second);
#endif
            freed += it->second;
        }
        return;  // the rest stays reserved until the process ends
    }
#if !defined(_WIN32)
    unsigned long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + headroom;
    rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
#endif
}

inline std::u16string U16(const char16_t* s) {
    return std::u16string(s);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line with `input` on standard input; captures output and error.
inline RunResult Run(const std::string& command, const std::string& input = "") {
    char inPath[] = "/tmp/zqtest-in-XXXXXX";
    char errPath[] = "/tmp/zqtest-err-XXXXXX";
    const int inFd = mkstemp(inPath);
    const int errFd = mkstemp(errPath);
    RunResult r;
    if (inFd < 0 || errFd < 0) return r;
    if (!input.empty()) {
        FILE* f = fdopen(inFd, "wb");
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    } else {
        close(inFd);
    }
    close(errFd);
    const std::string full = command + " <" + inPath + " 2>" + errPath;
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
            r.out.append(buf, n);
        const int st = pclose(pipe);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    r.err = ReadFile(errPath);
    std::remove(inPath);
    std::remove(errPath);
    return r;
}

}  // namespace zqtest

#endif  // ZQ_TESTS_SUPPORT_H
