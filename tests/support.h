// Small helpers shared by the test programs.
#ifndef ZQ_TESTS_SUPPORT_H
#define ZQ_TESTS_SUPPORT_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
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

// Bytes the C heap holds in use, where the platform tells (glibc); kHeapStatistics says whether.
#if defined(__GLIBC__)
constexpr bool kHeapStatistics = true;
inline size_t HeapBytesInUse() {
    return mallinfo2().uordblks;
}
#else
constexpr bool kHeapStatistics = false;
inline size_t HeapBytesInUse() {
    return 0;
}
#endif

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

// The interface's wide text is wchar_t on Windows and char16_t elsewhere; tests write UTF-16
// literals (u"...") and compare as std::u16string.
using WString = std::basic_string<ZqWChar>;
inline WString W(std::u16string_view s) {
    return WString(s.begin(), s.end());
}
inline std::u16string U16(const ZqWChar* s) {
    std::u16string out;
    for (; s && *s; ++s)
        out += static_cast<char16_t>(*s);
    return out;
}

// The second count of a UTC calendar time (timegm; _mkgmtime on Windows).
inline std::time_t TimeGm(std::tm* tm) {
#if defined(_WIN32)
    return _mkgmtime(tm);
#else
    return timegm(tm);
#endif
}

// A new, empty folder, removed with its contents at the end of the scope.
class TempDir {
  public:
    TempDir() {
        static int serial = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (int i = 0; i < 1000; ++i) {
            path_ = base / ("zqtest-" + std::to_string(std::random_device{}()) + "-" +
                            std::to_string(++serial));
            if (std::filesystem::create_directory(path_)) return;
        }
        std::abort();
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// A path the platform opens: under Wine a Unix path from the build is reached through drive Z:.
inline std::string NativePath(const std::string& path) {
#if defined(_WIN32)
    if (!path.empty() && path[0] == '/') return "Z:" + path;
#endif
    return path;
}

#if defined(_WIN32)

// The words of a POSIX shell command line ('...', "..." with \\ \" \$ \`, \x outside quotes)
// and its redirections: "<&-" closes standard input, "<FILE" reads it from FILE, "2>&1" sends
// errors to the output, ">FILE" / "2>FILE" write to FILE.
struct CommandLine {
    std::vector<std::string> words;
    bool closeInput = false;
    bool errToOut = false;
    std::string inputFile, outputFile, errorFile;
    bool ok = true;
};

inline CommandLine ParseCommandLine(const std::string& text) {
    CommandLine c;
    std::string word;
    bool inWord = false;
    std::string* redirect = nullptr;
    const auto finish = [&] {
        if (!inWord) return;
        if (redirect) {
            *redirect = word;
            redirect = nullptr;
        } else if (word == "<&-") {
            c.closeInput = true;
        } else if (word == "2>&1") {
            c.errToOut = true;
        } else {
            c.words.push_back(word);
        }
        word.clear();
        inWord = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ' ' || ch == '\t' || ch == '\n') {
            finish();
        } else if (ch == '\'') {
            const size_t end = text.find('\'', i + 1);
            if (end == std::string::npos) c.ok = false;
            word.append(text, i + 1, end - i - 1);
            inWord = true;
            i = end;
        } else if (ch == '"') {
            inWord = true;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() && std::strchr("\\\"$`", text[i + 1])) {
                    ++i;
                }
                word += text[i];
            }
            if (i >= text.size()) c.ok = false;
        } else if (ch == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (!inWord && (ch == '<' || ch == '>' ||
                               (ch == '2' && i + 1 < text.size() && text[i + 1] == '>'))) {
            if (text.compare(i, 3, "<&-") == 0 || text.compare(i, 4, "2>&1") == 0) {
                word = text.substr(i, ch == '<' ? 3 : 4);
                inWord = true;
                i += word.size() - 1;
                finish();
                continue;
            }
            redirect = ch == '<' ? &c.inputFile : ch == '>' ? &c.outputFile : &c.errorFile;
            if (ch == '2') ++i;
            while (i + 1 < text.size() && text[i + 1] == ' ')
                ++i;
        } else {
            word += ch;
            inWord = true;
        }
    }
    finish();
    if (redirect || c.words.empty()) c.ok = false;
    return c;
}

// One argument quoted as the C runtime's command-line parser reads it back.
inline std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t ch : arg) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(ch == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += ch;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

inline std::wstring Widen(const std::string& s) {
    std::wstring w(s.size() + 1, L'\0');
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<size_t>(n) - 1 : 0);
    return w;
}

inline std::string TempPath(const char* stem) {
    static int serial = 0;
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof dir, dir);
    return std::string(dir, n) + stem + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++serial);
}

// Runs a command line written for a POSIX shell (see ParseCommandLine) with `input` on standard
// input; captures output and error. The first word is the program (a Unix path goes through Z:).
inline RunResult Run(const std::string& command, const std::string& input = "") {
    RunResult r;
    const CommandLine c = ParseCommandLine(command);
    if (!c.ok) {
        r.err = "zqtest::Run cannot read the command line: " + command;
        return r;
    }
    const std::string inPath = c.inputFile.empty() ? TempPath("zqtest-in-") : c.inputFile;
    const std::string outPath = c.outputFile.empty() ? TempPath("zqtest-out-") : c.outputFile;
    const std::string errPath = c.errorFile.empty() ? TempPath("zqtest-err-") : c.errorFile;
    if (c.inputFile.empty()) {
        std::ofstream(inPath, std::ios::binary) << input;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&](const std::string& path, bool write) {
        return CreateFileW(Widen(NativePath(path)).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_EXISTING,
                           write ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    HANDLE in = c.closeInput ? INVALID_HANDLE_VALUE : open(inPath, false);
    HANDLE out = open(outPath, true);
    HANDLE err = c.errToOut ? out : open(errPath, true);
    std::wstring line;
    for (size_t i = 0; i < c.words.size(); ++i) {
        line += (i ? L" " : L"") + QuoteArgument(Widen(i ? c.words[i] : NativePath(c.words[i])));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        r.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE h : {in, out, err == out ? INVALID_HANDLE_VALUE : err}) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    r.out = c.outputFile.empty() ? ReadFile(outPath) : "";
    r.err = c.errorFile.empty() && !c.errToOut ? ReadFile(errPath) : "";
    for (const std::string* p : {&inPath, &outPath, &errPath}) {
        const bool ours = (p == &inPath && c.inputFile.empty()) ||
                          (p == &outPath && c.outputFile.empty()) ||
                          (p == &errPath && c.errorFile.empty());
        if (ours) std::remove(p->c_str());
    }
    return r;
}

#else

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

#endif

}  // namespace zqtest

#endif  // ZQ_TESTS_SUPPORT_H
