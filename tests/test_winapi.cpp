// Windows only: the platform layer's calls into Windows against the portable stand-ins the other
// platforms use (the converters), the clock and the file test, and a real common-controls tree
// view filled by ZqXmlU_XmlToTree and read back through window messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/utf.h"
#include "support.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

using zqtest::Tag;

// Both converters of one direction on one input, with every interesting destination size: the
// result counts must agree, and so must the output whenever the call succeeds.
template <typename T>
std::string Hex(const T* p, size_t n) {
    std::string out;
    char piece[8];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(piece, sizeof piece, "%0*X ", static_cast<int>(2 * sizeof(T)),
                      static_cast<unsigned>(static_cast<std::make_unsigned_t<T>>(p[i])));
        out += piece;
    }
    return out;
}

template <typename In, typename Out>
void ExpectSame(int (*system)(const In*, int, Out*, int),
                int (*portable)(const In*, int, Out*, int), const std::basic_string<In>& input,
                std::string label) {
    label += " [" + Hex(input.data(), input.size()) + "]";
    for (const int srcLen : {-1, static_cast<int>(input.size())}) {
        if (srcLen == 0) continue;
        const int need = portable(input.c_str(), srcLen, nullptr, 0);
        const int sysNeed = system(input.c_str(), srcLen, nullptr, 0);
        if (sysNeed != need) {
            std::vector<Out> a(static_cast<size_t>(sysNeed > 0 ? sysNeed : 1));
            std::vector<Out> b(static_cast<size_t>(need > 0 ? need : 1));
            system(input.c_str(), srcLen, a.data(), sysNeed);
            portable(input.c_str(), srcLen, b.data(), need);
            ADD_FAILURE() << label << " srcLen " << srcLen << ": system " << Hex(a.data(), a.size())
                          << "/ portable " << Hex(b.data(), b.size());
            return;
        }
        for (const int cap : {need, need - 1, need + 3, 1}) {
            if (cap <= 0) continue;
            std::vector<Out> a(static_cast<size_t>(cap) + 1, Out(0x55));
            std::vector<Out> b(a);
            const int ra = system(input.c_str(), srcLen, a.data(), cap);
            const int rb = portable(input.c_str(), srcLen, b.data(), cap);
            ASSERT_EQ(ra, rb) << label << " srcLen " << srcLen << " cap " << cap << ": "
                              << Hex(a.data(), static_cast<size_t>(cap)) << "/ "
                              << Hex(b.data(), static_cast<size_t>(cap));
            if (ra > 0) {
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + ra, b.begin()))
                    << label << " srcLen " << srcLen << " cap " << cap;
            }
            EXPECT_EQ(a[static_cast<size_t>(cap)], Out(0x55)) << label << ": wrote past cap";
        }
    }
}

// Whether this "Windows" is Wine (whose ntdll says so).
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(WindowsPlatform, ConvertersAgreeWithTheSystem) {
    const std::string utf8[] = {
        "plain ASCII text, long enough for the eight-byte runs",
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 end",  // 2-, 3- and 4-byte forms
        "\x80",
        "\xBF\xBF",
        "a\xC3",
        "\xE2\x82",
        "x\xE2\x28\xA1y",
        "\xC0\x80",
        "\xC1\xBF",
        "\xF5\x80",
        "\xFE\xFF",
        "\xF8\x88\x80\x80\x80",
        std::string("nul\0inside", 10),
    };
    for (const auto& s : utf8)
        ExpectSame<char, ZqWChar>(zq::Utf8ToUtf16, zq::Utf8ToUtf16Portable, s, "utf8");

    // Wine 8's decoder parts from Windows on these (each malformed part is one U+FFFD on Windows
    // and here; Wine counts overlong forms, encoded surrogates and code points past U+10FFFF by
    // their structure, a cut four-byte form swallows the byte after it, even an ASCII one, and a
    // lone three-byte lead swallows the terminator).
    const std::string wineDiffers[] = {
        "\xE0\x80\xAF",     "\xF0\x80\x80\xAF", "\xED\xA0\x80", "\xED\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF0\x9F\x98",     "a\xF4\x80z",   "\xF0\x28\x8C\xBC",
    };
    for (const auto& s : wineDiffers) {
        if (!UnderWine())
            ExpectSame<char, ZqWChar>(zq::Utf8ToUtf16, zq::Utf8ToUtf16Portable, s, "utf8");
    }

    const std::u16string utf16[] = {
        u"plain",
        u"caf\u00E9 \u20AC",
        std::u16string{0xD83D, 0xDE00},  // a pair
        std::u16string{0xD83D},
        std::u16string{0xDE00},                    // lone halves
        std::u16string{'a', 0xDE00, 0xD83D, 'b'},  // reversed pair
        std::u16string{0xD800, 0xD800, 0xDC00},
        std::u16string{0xFFFF, 0xFFFE},
    };
    for (const auto& s : utf16) {
        const std::wstring w(s.begin(), s.end());
        ExpectSame<ZqWChar, char>(zq::Utf16ToUtf8, zq::Utf16ToUtf8Portable, w, "utf16");
    }

    // Random texts: bytes weighted towards the lead and continuation ranges (the three- and
    // four-byte leads whose forms Wine reads otherwise only on Windows itself), units towards
    // the surrogates.
    std::mt19937 rng(20261206);
    std::vector<unsigned char> bytes = {0x41, 0x00, 0x80, 0xBF, 0xC2, 0xDF, 0xF5, 0xFF};
    if (!UnderWine()) bytes.insert(bytes.end(), {0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF4});
    const wchar_t units[] = {0x41, 0xE9, 0x20AC, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFD};
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        std::string s;
        std::wstring w;
        for (int i = static_cast<int>(rng() % 12) + 1; i > 0; --i) {
            s += static_cast<char>(bytes[rng() % bytes.size()]);
            w += units[rng() % (sizeof units / sizeof units[0])];
        }
        ExpectSame<char, ZqWChar>(zq::Utf8ToUtf16, zq::Utf8ToUtf16Portable, s, "random utf8");
        ExpectSame<ZqWChar, char>(zq::Utf16ToUtf8, zq::Utf16ToUtf8Portable, w, "random utf16");
    }
}

TEST(WindowsPlatform, ClockAndFileTest) {
    const std::time_t before = std::time(nullptr);
    const zq::UtcTime now = zq::UtcNow();
    std::tm tm{};
    gmtime_s(&tm, &before);
    EXPECT_EQ(now.year, tm.tm_year + 1900);
    EXPECT_EQ(now.month, tm.tm_mon + 1);
    EXPECT_LE(std::abs((now.hour * 60 + now.minute) * 60 + now.second -
                       ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec)),
              2);

    const std::wstring path = std::wstring(_wgetenv(L"TEMP")) + L"\\zq-\u00E9t\u00E9.txt";
    EXPECT_FALSE(zq::CanOpenForReading(path.c_str()));
    FILE* f = nullptr;
    ASSERT_EQ(_wfopen_s(&f, path.c_str(), L"w"), 0);
    std::fclose(f);
    EXPECT_TRUE(zq::CanOpenForReading(path.c_str()));
    _wremove(path.c_str());
}

// A real tree-view window of the common controls.
struct TreeWindow {
    TreeWindow() {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&init);
        window = CreateWindowExA(0, WC_TREEVIEWA, "zq", WS_OVERLAPPEDWINDOW | TVS_HASBUTTONS, 0, 0,
                                 200, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~TreeWindow() {
        if (window) DestroyWindow(window);
    }
    HWND window = nullptr;
};

TEST(WindowsTreeView, XmlToTreeFillsARealControl) {
    TreeWindow w;
    ASSERT_NE(w.window, nullptr) << "no tree-view window (is a display there?): " << GetLastError();
    CTreeCtrl view(w.window);
    const HTREEITEM top = view.InsertItem("top", 0, 0);
    ASSERT_NE(top, nullptr);

    ZQ_XML_STRUCT_T doc{};
    doc.tag = "test";
    ZqXmlU_xml_sprintf(&doc, "%s",
                       "<?xml version='1.0'?><r a='1'><x:a><b/><!-- c --><b2>t</b2></x:a>"
                       "<c/><![CDATA[<no/>]]></r>");
    ASSERT_EQ(ZqXmlU_XmlToTree(&doc, &view, top, 0, 0), 1);
    ZqXmlU_xml_free(doc.buffer);
    EXPECT_EQ(view.Print(), "top\n  r\n    a\n      b\n      b2\n    c\n");
    EXPECT_EQ(view.GetCount(), 6u);
    // Every item with children was expanded through TVM_EXPAND; leaves report no expansion.
    const HTREEITEM r = view.GetChildItem(top);
    const HTREEITEM a = view.GetChildItem(r);
    EXPECT_TRUE(view.IsExpanded(top) == false && view.IsExpanded(r) && view.IsExpanded(a));
    EXPECT_FALSE(view.IsExpanded(view.GetChildItem(a)));

    // A failed walk keeps the items so far; a NULL window inserts nothing and fails.
    ZQ_XML_STRUCT_T bad{};
    bad.tag = "test";
    ZqXmlU_xml_sprintf(&bad, "%s", "<q><w attr='open></q>");
    EXPECT_EQ(ZqXmlU_XmlToTree(&bad, &view, TVI_ROOT, 0, 0), -1);
    EXPECT_EQ(view.GetItemText(view.GetNextSiblingItem(top)), "q");
    CTreeCtrl none;
    EXPECT_EQ(ZqXmlU_XmlToTree(&bad, &none, TVI_ROOT, 0, 0), -1);
    ZqXmlU_xml_free(bad.buffer);
}

}  // namespace
