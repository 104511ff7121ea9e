// The zqxmlu command-line tool: conventions shared by every subcommand.
#include <gtest/gtest.h>

#include <string>

#include "support.h"

namespace {

#ifdef ZQ_TOOL
const std::string kTool = ZQ_TOOL;

TEST(Tool, HelpVersionAndUsageErrors) {
    auto help = zqtest::Run(kTool + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("convert"), std::string::npos);

    auto version = zqtest::Run(kTool + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("1.0.0"), std::string::npos);

    EXPECT_EQ(zqtest::Run(kTool).status, 2);
    EXPECT_EQ(zqtest::Run(kTool + " no-such-command").status, 2);
    EXPECT_EQ(zqtest::Run(kTool + " convert --to latin1").status, 2);
    auto missing = zqtest::Run(kTool + " convert /no/such/file");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

TEST(Tool, ConvertRoundTripsThroughStandardInput) {
    const std::string text = "caf\xC3\xA9 \xF0\x9F\x98\x80";
    auto wide = zqtest::Run(kTool + " convert --to utf16", text);
    ASSERT_EQ(wide.status, 0) << wide.err;
    EXPECT_EQ(wide.out, std::string("c\0a\0f\0\xE9\0 \0\x3D\xD8\x00\xDE", 14));
    auto back = zqtest::Run(kTool + " convert --to utf8 -", wide.out);
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.out, text);
}
#endif

}  // namespace
