// Namespace URIs and user identities: the grammar both ways, decoding failures, compatibility,
// the list of user bases, the additional-user-names text and combined prefixes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

using zqtest::Text;
const std::string kBase = zq::kNamespaceBase;

// A list of user bases, released with its value texts at the end of a scope.
struct Bases {
    ZQ_KWLIST_STRUCT_T list{};
    ~Bases() {
        for (int i = 0; i < list.count; ++i) {
            void* v = reinterpret_cast<void*>(list.values[i]);
            ZqXmlU_Free(&v);
        }
        ZqXmlU_FreeKwAllocList(&list);
    }
    void Add(const std::string& user, int front = 0) {
        ZqXmlU_MakeUriBase(Text(user), &list, front);
    }
    std::string Key(int i) const { return reinterpret_cast<const char*>(list.keys[i]); }
    std::string Name(int i, int size = 65) {
        std::vector<char> dst(static_cast<size_t>(size) + 1, '#');
        ZqXmlU_GetUsernameI(&list, i, dst.data(), size);
        return std::string(dst.data(), strnlen(dst.data(), dst.size()));
    }
    // "name=value" of each entry ("name" when it has no value), separated by '|'.
    std::string Entries() {
        std::string all;
        for (int i = 0; i < list.count; ++i) {
            const auto* value = reinterpret_cast<const char*>(list.values[i]);
            all += Name(i);
            if (value) (all += "=") += value;
            if (i + 1 < list.count) all += "|";
        }
        return all;
    }
};

std::string MakeUri(const std::string& user, const std::string& name, int major, int minor,
                    char variant = 0) {
    char dst[512];
    EXPECT_EQ(ZqXmlU_MakeUri(Text(user), name.c_str(), major, minor, dst, sizeof dst, variant), 0);
    return dst;
}

// What ZqXmlU_GetURIInfo and ZqXmlU_GetUserName (the owner) report, as
// "result|user|owner|name|major|minor|variant|underscore"; -7 for numbers left unwritten.
std::string Decode(const std::string& uri) {
    int underscore = -7, minor = -7, variant = -7;
    ZqLong major = -7;
    char name[65], user[65], owner[65];
    const int r = ZqXmlU_GetURIInfo(Text(uri), underscore, minor, &major, name, user, &variant);
    ZqXmlU_GetUserName(Text(uri), owner);
    return std::to_string(r) + "|" + user + "|" + owner + "|" + name + "|" + std::to_string(major) +
           "|" + std::to_string(minor) + "|" + std::to_string(variant) + "|" +
           std::to_string(underscore);
}

TEST(Uri, GrammarBothWays) {
    const std::string u63(63, 'u'), u64(64, 'u'), u65(65, 'u'), n62(62, 'n'), n63(63, 'n');
    // Segments that do not fit the 65-byte outputs come back empty: names of 63 characters and
    // more, users of 64 and more (65 and more for the owner).
    struct Case {
        std::string user, name;
        int major, minor;
        char variant;
        std::string path, decoded;  // path "": not compared
    } cases[] = {
        {"alice", "tags", 2, 15, 'm', "/a/l/ic/alice/tags_02_015.zqtvm", "alice|alice|tags|2|15|1"},
        {"zq", "own", 99, 999, 'q', "/z/q/__/zq/own_99_999.zqtvq", "zq|zq|own|99|999|2"},
        {"a", "", 0, 0, 'x', "/a/_/__/a/_00_000.zqtvx", "a|a||0|0|0"},
        {"abc", "my_tags", 7, 120, 0, "/a/b/c_/abc/my_tags_07_120.zqtv", "abc|abc|my_tags|7|120|0"},
        {u63, n62, 3, 4, 0, "", u63 + "|" + u63 + "|" + n62 + "|3|4|0"},
        {u64, n63, 3, 4, 0, "", "|" + u64 + "||3|4|0"},
        {u65, "n", 3, 4, 0, "", "||n|3|4|0"},
    };
    for (const Case& c : cases) {
        const std::string uri = MakeUri(c.user, c.name, c.major, c.minor, c.variant);
        EXPECT_EQ(uri, c.path.empty() ? uri : kBase + c.path);
        EXPECT_EQ(Decode(uri),
                  "1|" + c.decoded + "|" + std::to_string(uri.rfind('_', uri.find(".zqtv"))));
    }
}

TEST(Uri, MakeUriRefusesWithoutWriting) {
    // bound = user + base + 4 + name + 32; a destination of exactly the bound is too small.
    const int bound = static_cast<int>(5 + kBase.size() + 4 + 4 + 32);
    for (const auto& [size, major, minor, variant, result] :
         std::vector<std::tuple<int, int, int, char, int>>{
             {bound, 2, 15, 0, 1},
             {bound + 1, 2, 15, 0, 0},
             {-5, 2, 15, 0, 1},
             {bound + 1, 123456789, 1234567890, 0, 0},    // 19 digits: the most the bound holds
             {bound + 1, 123456789, 1234567890, 'm', 1},  // one more character
             {bound + 1, INT_MIN, INT_MIN, 'm', 1}}) {
        std::vector<char> dst(static_cast<size_t>(size > 0 ? size : 1), '#');
        EXPECT_EQ(ZqXmlU_MakeUri(Text("alice"), "tags", major, minor, dst.data(), size, variant),
                  result)
            << size << " " << major;
        EXPECT_EQ(dst[0], result == 1 ? '#' : 'h');
    }
}

TEST(Uri, DecodingFailures) {
    const std::string dir = kBase + "/a/l/ic/alice/";
    for (const auto& [uri, underscore] : std::vector<std::pair<std::string, int>>{
             {"", -7},
             {"http://other.example/xml/a/l/ic/alice/tags_02_015.zqtv", -7},
             {dir + "tags_100_015.zqtv", -7},  // a third digit of major
             {dir + "tags_02_015.zq", -7},     // extension too short
             {dir + "tags_02_0x5.zqtv", 45},   // the '_' index is stored before the minor fails
             {dir + "tags_02_01a.zqtv", 45}}) {
        EXPECT_EQ(Decode(uri), "0|zq|zq||-7|-7|-7|" + std::to_string(underscore)) << uri;
    }
    int underscore = 0, minor = 0;  // every output but the two references may be NULL
    EXPECT_EQ(ZqXmlU_GetURIInfo(Text(dir + "t_01_002.zqtv"), underscore, minor, nullptr, nullptr,
                                nullptr, nullptr),
              1);
    EXPECT_EQ(minor, 2);
}

TEST(Uri, Compatibility) {
    const std::string t15 = MakeUri("alice", "tags", 2, 15), t16 = MakeUri("alice", "tags", 2, 16);
    const std::tuple<std::string, std::string, int> cases[] = {
        {t15, t16, 1},
        {t16, t15, 0},
        {t15, MakeUri("alice", "tags", 3, 16), 0},
        {t15, MakeUri("alice", "tags", 2, 16, 'm'), 0},
        {MakeUri("alice", "tags", 2, 15, 'm'), MakeUri("alice", "tags", 2, 16, 'm'), 1},
        {t15, MakeUri("alicf", "tags", 2, 16), 0},
        {"any text", "any text", 1},
        {t15, kBase + "/a/l/ic/alice/tags_02_-16.zqtv", 0},  // signed: -16 is not later
    };
    for (const auto& [older, newer, result] : cases)
        EXPECT_EQ(ZqXmlU_CompatibleURI(Text(older), Text(newer)), result) << older << " " << newer;
}

TEST(Users, BasesAndTheirOwners) {
    Bases b;
    b.Add("alice", 1);
    b.Add("bob");
    b.Add("zq");
    b.Add("bob");
    ASSERT_EQ(b.list.count, 3);
    EXPECT_EQ(b.Key(0), kBase + "/a/l/ic/alice/");
    EXPECT_EQ(b.Key(1), kBase + "/b/o/b_/bob/");
    EXPECT_EQ(b.Key(2), kBase + "/zq/");

    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(MakeUri("alice", "t", 1, 1)), &b.list), 0);
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(MakeUri("bob", "t", 1, 1)), &b.list), 1);
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(MakeUri("carol", "t", 1, 1)), &b.list), -1);
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text("http://elsewhere/x"), &b.list), 3);
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(b.Key(1)), &b.list), 1);  // exactly the base
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(b.Key(1).substr(0, b.Key(1).size() - 1)), &b.list), -1);
    EXPECT_EQ(ZqXmlU_IsUserOwned(Text(kBase), &b.list), -1);

    EXPECT_EQ(b.Name(0), "alice");
    EXPECT_EQ(b.Name(0, 3), "al");  // bounded by the size given
    EXPECT_EQ(b.Name(3), "");       // index == count
    EXPECT_EQ(b.Name(0, 0), "#");   // size 0: untouched
    EXPECT_EQ(ZqXmlU_GetMatchingUri(&b.list, Text("zq")), 2);
    EXPECT_EQ(ZqXmlU_GetMatchingUri(&b.list, Text("carol")), -1);

    // moveToFront on an existing entry swaps keys and values; on a new one it appends and swaps.
    b.list.values[2] = 42;
    b.Add("zq", 1);
    EXPECT_EQ(b.Key(0), kBase + "/zq/");
    EXPECT_EQ(b.list.values[0], 42u);
    EXPECT_EQ(b.Key(2), kBase + "/a/l/ic/alice/");
    b.list.values[0] = 0;
    b.Add("dan", 1);
    ASSERT_EQ(b.list.count, 4);
    EXPECT_EQ(b.Key(0), kBase + "/d/a/n_/dan/");
    EXPECT_EQ(b.Key(3), kBase + "/zq/");
}

// An unsound list of bases (count past capacity, a negative count, arrays missing) is neither
// read nor written: each export gives its failure answer and the list stays as it was. Texts
// ending at an inaccessible page are read no further than their NUL.
TEST(Hostile, UnsoundListsOfBasesAndTextsAtAPage) {
    const std::string alice = kBase + "/a/l/ic/alice/";
    uintptr_t keys[1] = {reinterpret_cast<uintptr_t>(alice.c_str())}, values[1] = {0};
    const ZQ_KWLIST_STRUCT_T cases[] = {{2, 1, 1, keys, values},
                                        {-1, 1, 1, keys, values},
                                        {1, 1, 0, keys, nullptr},
                                        {0, 4, 0, nullptr, nullptr}};
    for (const ZQ_KWLIST_STRUCT_T& u : cases) {
        ZQ_KWLIST_STRUCT_T l = u;
        char name[65] = "#";
        EXPECT_EQ(ZqXmlU_MakeUriBase(Text("bob"), &l, 1), -1);
        ZqXmlU_GetAdditionalUsernames(&l, Text("carol,(C)"));
        EXPECT_EQ(ZqXmlU_IsUserOwned(Text(alice + "t_01_001.zqtv"), &l), -1);  // counts as empty
        EXPECT_EQ(ZqXmlU_IsUserOwned(Text("http://elsewhere/"), &l), 0);
        ZqXmlU_GetUsernameI(&l, 0, name, sizeof name);
        EXPECT_STREQ(name, "");
        EXPECT_EQ(ZqXmlU_GetMatchingUri(&l, Text("alice")), -1);
        EXPECT_TRUE(std::memcmp(&l, &u, sizeof l) == 0 && keys[0] && values[0] == 0) << u.count;
    }
    EXPECT_EQ(ZqXmlU_MakeUriBase(nullptr, nullptr, 0), -1);
    Bases b;
    b.Add("alice");
    zqtest::PageEnd base(b.Key(0)), name("alice"), list("bob,(x)");
    EXPECT_EQ(ZqXmlU_IsUserOwned(base, &b.list), 0);
    EXPECT_EQ(ZqXmlU_GetMatchingUri(&b.list, name), 0);
    ZqXmlU_GetAdditionalUsernames(&b.list, list);
    EXPECT_EQ(b.Entries(), "alice=x|bob");
}

TEST(Users, AdditionalUserNames) {
    const std::string n64(64, 'x'), n65(65, 'y'), v253(253, 'v');
    for (const auto& [text, entries] : std::vector<std::pair<std::string, std::string>>{
             {"alice,(Alice's tags),bob", "alice=Alice's tags|bob"},
             {",(x),bob", "bob"},
             {"alice,(", "alice="},  // a lone '(' attaches an empty text
             {"alice,bob,(x)", "alice|bob|(x)"},
             {"alice,(" + v253 + ")", "alice=" + v253},
             {"alice,(" + v253 + "))", "alice"},  // a value field of 256 characters
             {"alice,(a),alice,(b),bob", "alice=a|bob"},
             {"a," + n64 + ",b", "a||b"},
             {"a," + n65 + ",b", "a"},
         }) {
        Bases b;
        ZqXmlU_GetAdditionalUsernames(&b.list, Text(text));
        EXPECT_EQ(b.Entries(), entries) << text;
    }
    // On a list that holds entries already, values go by the names counted in this call.
    Bases b;
    b.Add("me");
    ZqXmlU_GetAdditionalUsernames(&b.list, Text("bob,(B)"));
    EXPECT_EQ(b.Entries(), "me=B|bob");
}

TEST(Users, CombinedPrefix) {
    const std::string a28(28, 'a'), a31(31, 'a'), a32(32, 'a'), b28(28, 'b');
    for (const auto& [first, second, number, expected] :
         std::vector<std::tuple<std::string, std::string, int, std::string>>{
             {"alice", "tags", 2, "alice_tags2"},
             {"alice", "tags", 0, "alice_tags"},
             {a31, a31, 5, a31 + "_" + a31 + "5"},                  // 64 characters: kept
             {a32, a31, 5, a28 + "_" + a28 + "5"},                  // 65: both cut
             {a28, b28, INT_MIN, a28 + "_" + b28 + "-2147483648"},  // nothing to cut
         }) {
        char dst[80];
        ZqXmlU_MakeCombinedPrefix(Text(first), Text(second), dst, sizeof dst, number);
        EXPECT_EQ(dst, expected);
        // A smaller destination gets the text cut to its size.
        std::vector<char> small(7, '#');
        ZqXmlU_MakeCombinedPrefix(Text(first), Text(second), small.data(), 7, number);
        EXPECT_EQ(small.data(), expected.substr(0, 6));
    }
}

#ifdef ZQ_TOOL
TEST(Users, Tool) {
    const std::string uri = kBase + "/a/l/ic/alice/tags_02_015.zqtvm";
    for (const auto& [args, status, out] : std::vector<std::tuple<std::string, int, std::string>>{
             {"make alice tags 2 15 --variant m", 0, uri + "\n"},
             {"info " + uri, 0,
              "user: alice\nname: tags\nmajor: 2\nminor: 15\nvariant: m\nunderscore: " +
                  std::to_string(uri.rfind('_')) + "\n"},
             {"info http://elsewhere/x", 1, ""},
             {"compatible " + MakeUri("alice", "tags", 2, 14, 'm') + " " + uri, 0, "1\n"},
             {"user " + uri, 0, "alice\n"},
             {"prefix alice tags 3", 0, "alice_tags3\n"},
             {"make a b 1 2 --variant mq", 2, ""},
             {"make a b -2147483648 -2147483648 --variant m", 2, ""},
         }) {
        const auto r = zqtest::Run(std::string(ZQ_TOOL) + " uri " + args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
}
#endif

}  // namespace
