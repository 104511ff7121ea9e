// The shared library exports exactly the names of the interface list, each with its linkage. On
// Windows zqxmlu.dll is loaded and every name of its export table is bound and called by name.
#if !defined(_WIN32)
#include <cxxabi.h>
#endif
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

// Every name of the interface is exported.
constexpr size_t kRequiredExports = 111;

[[maybe_unused]] std::map<std::string, std::string> ReadList() {
    std::map<std::string, std::string> names;
    std::ifstream in(ZQ_EXPORTS_LIST);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string linkage, name;
        fields >> linkage >> name;
        names[name] = linkage;
    }
    return names;
}

struct Symbol {
    std::string name;     // function name without its arguments
    std::string linkage;  // "C" or "C++"
    char type;
};

#if defined(_WIN32)

// The names of zqxmlu.dll's export table as the build wrote them: kind, function, export name.
std::vector<std::pair<std::string, std::string>> DllExports() {
    std::vector<std::pair<std::string, std::string>> names;
    std::ifstream in(ZQ_DLL_EXPORTS);
    std::string kind, function, name, import;
    while (in >> kind >> function >> name >> import)
        names.emplace_back(function, name);
    return names;
}

TEST(Exports, TheDllBindsEveryNameAndCallsThroughIt) {
    const auto names = DllExports();
    // 111 names and the second decorations: four in a 32-bit DLL, three in a 64-bit one.
    ASSERT_EQ(names.size(), sizeof(void*) == 4 ? 115u : 114u);
    HMODULE dll = LoadLibraryA(zqtest::NativePath(ZQ_SHARED_LIBRARY).c_str());
    ASSERT_NE(dll, nullptr) << ZQ_SHARED_LIBRARY;
    std::map<std::string, FARPROC> byName;
    for (const auto& [function, name] : names) {
        const FARPROC p = GetProcAddress(dll, name.c_str());
        EXPECT_NE(p, nullptr) << name;
        if (byName.count(function)) {
            EXPECT_EQ(byName[function], p) << name << ": one function";
        }
        byName[function] = p;
    }
    // Called through the table: a plain name and two decorated ones, against the static library.
    const auto bound = [&](const char* function) {
        return reinterpret_cast<void*>(byName.count(function) ? byName[function] : nullptr);
    };
    auto* toBase64 = reinterpret_cast<decltype(&ZqXmlU_ToBase64)>(bound("ZqXmlU_ToBase64"));
    auto* gzip = reinterpret_cast<decltype(&ZqXmlU_gzip)>(bound("ZqXmlU_gzip"));
    auto* gunzip = reinterpret_cast<decltype(&ZqXmlU_gunzip)>(bound("ZqXmlU_gunzip"));
    ASSERT_TRUE(toBase64 && gzip && gunzip);
    char viaDll[16] = {}, viaStatic[16] = {};
    toBase64("abcd", 4, viaDll, 0, 0);
    ZqXmlU_ToBase64("abcd", 4, viaStatic, 0, 0);
    EXPECT_STREQ(viaDll, "YWJjZA=");
    EXPECT_STREQ(viaDll, viaStatic);
    const std::string text(3000, 'z');
    unsigned char packed[256], back[4096];
    const uint32_t n = gzip(reinterpret_cast<const unsigned char*>(text.data()), 3000, packed);
    ASSERT_GT(n, 0u);
    ASSERT_EQ(gunzip(packed, n, back, sizeof back), 3000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 3000), text);
    FreeLibrary(dll);
}

#else

std::vector<Symbol> DynamicSymbols() {
    std::vector<Symbol> symbols;
    const std::string cmd = std::string("nm -D --defined-only ") + ZQ_SHARED_LIBRARY;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return symbols;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, raw;
        if (!(fields >> address >> type >> raw)) continue;
        if (const size_t at = raw.find('@'); at != std::string::npos) raw.resize(at);
        Symbol s{raw, "C", type[0]};
        if (raw.rfind("_Z", 0) == 0) {
            int status = 0;
            char* demangled = abi::__cxa_demangle(raw.c_str(), nullptr, nullptr, &status);
            std::string text = status == 0 && demangled ? demangled : raw;
            std::free(demangled);
            s.name = text.substr(0, text.find('('));
            s.linkage = "C++";
        }
        symbols.push_back(s);
    }
    pclose(pipe);
    return symbols;
}

TEST(Exports, OnlyListedNamesWithTheirLinkage) {
#ifndef ZQ_HAVE_SHARED
    GTEST_SKIP() << "no shared library in this build";
#else
    const auto list = ReadList();
    ASSERT_EQ(list.size(), 111u) << "the interface has 44 plain and 67 decorated names";
    size_t plain = 0;
    for (const auto& [name, linkage] : list)
        plain += linkage == "C";
    EXPECT_EQ(plain, 44u);

    const auto symbols = DynamicSymbols();
    ASSERT_FALSE(symbols.empty()) << "nm found no dynamic symbols in " << ZQ_SHARED_LIBRARY;
    std::set<std::string> present;
    for (const auto& s : symbols) {
        const auto it = list.find(s.name);
        if (it == list.end()) {
            ADD_FAILURE() << "exported but not in the interface: " << s.name;
            continue;
        }
        EXPECT_EQ(s.linkage, it->second) << s.name << " has the wrong linkage";
        EXPECT_TRUE(s.type == 'T' || s.type == 't') << s.name << " is not a function";
        EXPECT_TRUE(present.insert(s.name).second) << s.name << " exported twice";
    }
    std::string missing;
    for (const auto& [name, linkage] : list) {
        if (!present.count(name)) missing += " " + name;
    }
    EXPECT_GE(present.size(), kRequiredExports) << "missing:" << missing;
    std::printf("%zu of %zu interface names exported%s%s\n", present.size(), list.size(),
                missing.empty() ? "" : "; not yet:", missing.c_str());
#endif
}

#endif  // _WIN32

}  // namespace
