// The four scanners on arbitrary text from arbitrary start positions, each against a reference
// written straight from its rules, with the text in a block of exactly its size so that a read
// past the NUL is reported.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zqxmlu.h"

namespace {

bool IsQuote(char c) {
    return c == '\'' || c == '"';
}

long RefNextUnquoted(const char* t, long p, const char* target, int mode) {
    const size_t n = std::strlen(target);
    for (;;) {
        if (t[p] == '\0') return -1;
        if (std::strncmp(t + p, target, n) == 0) return p;
        if (mode == 1) {
            if (std::strncmp(t + p, "<!--", 4) == 0) {
                const char* e = std::strstr(t + p + 4, "-->");
                if (!e) return -1;
                p = e + 3 - t;
                continue;
            }
            if (IsQuote(t[p])) return -1;
        } else if (mode != 2 && IsQuote(t[p])) {
            const char* e = std::strchr(t + p + 1, t[p]);
            if (!e) return -1;
            p = e + 1 - t;
            continue;
        }
        ++p;
    }
}

long RefXmlEnd(const char* t) {
    if (t[0] != '<') return -1;
    long depth = 0;
    for (long i = 0;;) {
        const char c = t[i];
        if (c == '\0') return -1;
        if (c == '<' && t[i + 1] == '/') {
            --depth;
        } else if (std::strncmp(t + i, "<!--", 4) == 0) {
            const char* e = std::strstr(t + i + 4, "-->");
            if (!e) return -1;
            i = e + 3 - t;
            continue;
        } else if (c == '<') {
            ++depth;
        } else if (c == '>' && t[i - 1] == '/') {
            if (depth-- == 1) return i;
        } else if (c == '>') {
            if (depth == 0) return i;
        } else if (IsQuote(c)) {
            const char* e = std::strchr(t + i + 1, c);
            if (!e) return -1;
            i = e + 1 - t;
            continue;
        }
        ++i;
    }
}

long RefWhitespace(const char* t, int stopAtGreater) {
    for (long i = 0;;) {
        const char c = t[i];
        if (c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n') return i;
        if (stopAtGreater && c == '>') return i;
        if (IsQuote(c)) {
            const char* e = std::strchr(t + i + 1, c);
            if (!e) return static_cast<long>(std::strlen(t));
            i = e + 1 - t;
            continue;
        }
        ++i;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange(-1, 3);
    const int stopAtGreater = in.ConsumeBool();
    const std::string target = in.ConsumeRandomLengthString(12);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const size_t length = std::strlen(rest.c_str());
    if (length > (1u << 20)) return 0;

    char* text = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(text, rest.c_str(), length + 1);
    std::vector<char> t(target.c_str(), target.c_str() + std::strlen(target.c_str()) + 1);

    // Every start up to the NUL when the text is short, else a spread of them.
    const size_t step = length < 256 ? 1 : length / 97 + 1;
    for (size_t start = 0; start <= length; start += step) {
        const ZqLong r = ZqXmlU_FindNextUnquoted(text, static_cast<ZqLong>(start), t.data(), mode);
        if (r != RefNextUnquoted(text, static_cast<long>(start), t.data(), mode)) std::abort();
        if (r != -1 && (r < static_cast<ZqLong>(start) || static_cast<size_t>(r) >= length))
            std::abort();
        if (RefWhitespace(text + start, stopAtGreater) !=
            ZqXmlU_FindUnquotedWhitespace(text + start, stopAtGreater)) {
            std::abort();
        }
        if (RefXmlEnd(text + start) != ZqXmlU_FindXmlEnd(text + start)) std::abort();
        const int s = ZqXmlU_FindSubstring(text + start, t.data());
        const char* ref = t[0] ? std::strstr(text + start, t.data()) : nullptr;
        if (s != (ref ? static_cast<int>(ref - (text + start)) : -1)) std::abort();
    }
    std::free(text);
    return 0;
}
