// Numbers and dates: the scanners, the date value, parsing, formatting and the clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support.h"
#include "zqxmlu.h"

namespace {

// The text in a heap block of exactly its size, so that a read past the NUL is an ASan error.
std::unique_ptr<char[]> Exact(const std::string& s) {
    auto p = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(p.get(), s.c_str(), s.size() + 1);
    return p;
}

TEST(Numbers, ParseDecimal) {
    struct Case {
        std::string text;
        int32_t value;
        uint32_t advance;
    };
    const Case cases[] = {
        {"2004-07-15", 2004, 5},
        {"07-15", 7, 3},
        {"15", 15, 3},  // the NUL is consumed
        {"-05:30", -5, 4},
        {"+02:00", 2, 4},
        {"12T", 12, 3},
        {"9\xC3", 9, 2},        // bytes 0x80 and above are not digits
        {"4294967297", 1, 11},  // wraps modulo 2^32
        {"-2147483648", INT32_MIN, 12},
        {":5", 10 * 10 + 5, 3},  // the first character is taken as a digit untested
        {"", 0, 1},              // stops on the terminator
        {"-", 0, 2},
        {"+", 0, 2},
    };
    for (const Case& c : cases) {
        auto text = Exact(c.text);
        ZqLong value = 77;
        EXPECT_EQ(ZqXmlU_ParseDecimal(text.get(), &value), c.advance) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(Numbers, ParseInteger) {
    struct Case {
        std::string text;
        int64_t value;
        int hexOnly;
        uint32_t advance;
    };
    const Case cases[] = {
        {"0x1f", 31, 0, 5},
        {"x1F", 31, 0, 4},
        {"12x4", 196, 0, 5},  // the decimal digits carry over into the hex phase
        {"-x10", -16, 0, 5},
        {"1f.", 31, 1, 2},  // '.' ends a hex number without being consumed
        {"1f_", 31, 1, 2},
        {"1f:", 31, 1, 3},
        {"ff\"", 255, 1, 3},
        {"-1", 0, 1, 0},  // no sign in hex-only mode
        {"01.zqtv", 1, 0, 3},
        {"-42_", -42, 0, 4},
        {"12X4", 12, 0, 3},  // upper-case X is no hex marker
        {"", 0, 0, 1},
        {"", 0, 1, 1},
        {"-", 0, 0, 2},
        {"-9223372036854775808", INT64_MIN, 0, 21},
        {"18446744073709551617", 1, 0, 21},  // wraps modulo 2^64
        {"x10000000000000001", 1, 0, 19},
    };
    for (const Case& c : cases) {
        auto text = Exact(c.text);
        int64_t value = 77;
        EXPECT_EQ(ZqXmlU_ParseInteger(text.get(), &value, c.hexOnly), c.advance) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace
