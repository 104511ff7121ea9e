// Small helpers shared by the test programs.
#ifndef ZQ_TESTS_SUPPORT_H
#define ZQ_TESTS_SUPPORT_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
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
