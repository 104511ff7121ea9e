// The shared library exports exactly the names of the interface list, each with its linkage.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

// How many of the interface's names the library must define by now; raised as subsystems land.
constexpr size_t kRequiredExports = 88;

std::map<std::string, std::string> ReadList() {
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

}  // namespace
