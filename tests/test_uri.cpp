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
    std::string Value(int i) const {
        return list.values[i] ? reinterpret_cast<const char*>(list.values[i]) : "<none>";
    }
    std::string Name(int i, int size = 65) {
        std::vector<char> dst(static_cast<size_t>(size) + 1, '#');
        ZqXmlU_GetUsernameI(&list, i, dst.data(), size);
        return std::string(dst.data(), strnlen(dst.data(), dst.size()));
    }
};

std::string MakeUri(const std::string& user, const std::string& name, int major, int minor,
                    char variant = 0) {
    char dst[512];
    EXPECT_EQ(ZqXmlU_MakeUri(Text(user), name.c_str(), major, minor, dst, sizeof dst, variant), 0);
    return dst;
}

struct Info {
    int result = -1, underscore = -7, minor = -7, variant = -7;
    ZqLong major = -7;
    std::string name, user, owner;  // owner: from ZqXmlU_GetUserName
};

Info Decode(const std::string& uri) {
    Info i;
    char name[65], user[65], owner[65];
    i.result =
        ZqXmlU_GetURIInfo(Text(uri), i.underscore, i.minor, &i.major, name, user, &i.variant);
    ZqXmlU_GetUserName(Text(uri), owner);
    i.name = name;
    i.user = user;
    i.owner = owner;
    return i;
}

TEST(Uri, GrammarBothWays) {
    const std::string u63(63, 'u'), u64(64, 'u'), u65(65, 'u'), n62(62, 'n'), n63(63, 'n');
    struct Case {
        std::string user, name, path;  // path "": not compared
        int major, minor, variant, decodedVariant;
    } cases[] = {
        {"zqinc", "zq", "/z/q/in/zqinc/zq_01_001.zqtv", 1, 1, 0, 0},
        {"alice", "tags", "/a/l/ic/alice/tags_02_015.zqtvm", 2, 15, 'm', 1},
        {"zq", "own", "/z/q/__/zq/own_99_999.zqtvq", 99, 999, 'q', 2},
        {"a", "", "/a/_/__/a/_00_000.zqtvx", 0, 0, 'x', 0},
        {"abc", "my_tags", "/a/b/c_/abc/my_tags_07_120.zqtv", 7, 120, 0, 0},
        {"abcd", "n", "/a/b/cd/abcd/n_12_005.zqtv", 12, 5, 0, 0},
        {u63, n62, "", 3, 4, 0, 0},
        {u64, n63, "", 3, 4, 0, 0},
        {u65, "n", "", 3, 4, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string uri =
            MakeUri(c.user, c.name, c.major, c.minor, static_cast<char>(c.variant));
        if (!c.path.empty()) {
            EXPECT_EQ(uri, kBase + c.path);
        }
        const Info i = Decode(uri);
        EXPECT_EQ(i.result, 1) << uri;
        // Segments that do not fit the 65-byte outputs come back empty: names of 63 characters
        // and more, users of 64 and more (65 and more for ZqXmlU_GetUserName).
        EXPECT_EQ(i.user, c.user.size() <= 63 ? c.user : "");
        EXPECT_EQ(i.owner, c.user.size() <= 64 ? c.user : "");
        EXPECT_EQ(i.name, c.name.size() <= 62 ? c.name : "");
        EXPECT_EQ(i.major, c.major);
        EXPECT_EQ(i.minor, c.minor);
        EXPECT_EQ(i.variant, c.decodedVariant);
        EXPECT_EQ(uri.rfind('_', uri.find(".zqtv")), static_cast<size_t>(i.underscore));
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
    // Whether the '_' index was stored before the minor was found wanting.
    for (const auto& [uri, underscoreStored] : std::vector<std::pair<std::string, bool>>{
             {"", false},
             {kBase, false},
             {"http://other.example/xml/a/l/ic/alice/tags_02_015.zqtv", false},
             {dir + "tags_100_015.zqtv", false},  // a third digit of major
             {dir + "tags_02_015.zq", false},     // extension too short
             {dir + "tags_02_0x5.zqtv", true},
             {dir + "tags_02_01a.zqtv", true}}) {
        const Info i = Decode(uri);
        EXPECT_EQ(i.result, 0) << uri;
        EXPECT_EQ(i.user + i.owner + i.name, "zqzq");
        EXPECT_EQ(i.underscore != -7, underscoreStored) << uri;
        EXPECT_EQ(i.minor, -7);
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

TEST(Users, AdditionalUserNames) {
    const std::string n64(64, 'x'), n65(65, 'y'), v253(253, 'v');
    struct Case {
        std::string text;
        std::vector<std::pair<std::string, std::string>> entries;  // user name, value
    } cases[] = {
        {"alice,(Alice's tags),bob", {{"alice", "Alice's tags"}, {"bob", "<none>"}}},
        {",(x),bob", {{"bob", "<none>"}}},
        {"alice,(", {{"alice", ""}}},  // a lone '(' attaches an empty text
        {"alice,bob,(x)", {{"alice", "<none>"}, {"bob", "<none>"}, {"(x)", "<none>"}}},
        {"alice,(" + v253 + ")", {{"alice", v253}}},
        {"alice,(" + v253 + "))", {{"alice", "<none>"}}},  // a value field of 256 characters
        {"alice,(a),alice,(b),bob", {{"alice", "a"}, {"bob", "<none>"}}},
        {"a," + n64 + ",b", {{"a", "<none>"}, {"", "<none>"}, {"b", "<none>"}}},
        {"a," + n65 + ",b", {{"a", "<none>"}}},
    };
    for (const Case& c : cases) {
        Bases b;
        ZqXmlU_GetAdditionalUsernames(&b.list, Text(c.text));
        ASSERT_EQ(b.list.count, static_cast<int>(c.entries.size())) << c.text;
        for (int i = 0; i < b.list.count; ++i) {
            EXPECT_EQ(b.Name(i), c.entries[static_cast<size_t>(i)].first) << c.text;
            EXPECT_EQ(b.Value(i), c.entries[static_cast<size_t>(i)].second) << c.text;
        }
    }
    // On a list that holds entries already, values go by the names counted in this call.
    Bases b;
    b.Add("me");
    ZqXmlU_GetAdditionalUsernames(&b.list, Text("bob,(B)"));
    EXPECT_EQ(b.Value(0), "B");
    EXPECT_EQ(b.Value(1), "<none>");
}

TEST(Users, CombinedPrefix) {
    const std::string a28(28, 'a'), a31(31, 'a'), a32(32, 'a'), a40(40, 'a');
    const std::string b28(28, 'b');
    for (const auto& [first, second, number, expected] :
         std::vector<std::tuple<std::string, std::string, int, std::string>>{
             {"alice", "tags", 2, "alice_tags2"},
             {"alice", "tags", 0, "alice_tags"},
             {a40, "0123456789", 7, a40 + "_01234567897"},  // 52 characters: kept
             {a40, b28, 7, a28 + "_" + b28 + "7"},
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
    const std::string tool = std::string(ZQ_TOOL) + " uri ";
    const std::string uri = kBase + "/a/l/ic/alice/tags_02_015.zqtvm";
    const auto make = zqtest::Run(tool + "make alice tags 2 15 --variant m");
    EXPECT_EQ(make.status, 0) << make.err;
    EXPECT_EQ(make.out, uri + "\n");
    const size_t underscore = uri.rfind('_');
    EXPECT_EQ(zqtest::Run(tool + "info " + uri).out,
              "user: alice\nname: tags\nmajor: 2\nminor: 15\nvariant: 1\nunderscore: " +
                  std::to_string(underscore) + "\n");
    EXPECT_EQ(zqtest::Run(tool + "info http://elsewhere/x").status, 1);
    EXPECT_EQ(
        zqtest::Run(tool + "compatible " + MakeUri("alice", "tags", 2, 14, 'm') + " " + uri).out,
        "1\n");
    EXPECT_EQ(zqtest::Run(tool + "user " + uri).out, "alice\n");
    EXPECT_EQ(zqtest::Run(tool + "prefix alice tags -3").out, "alice_tags-3\n");
    EXPECT_EQ(zqtest::Run(tool + "make a b 1 2 --variant mq").status, 2);
    EXPECT_EQ(zqtest::Run(tool + "make a b -2147483648 -2147483648 --variant m").status, 1);
}
#endif

}  // namespace
