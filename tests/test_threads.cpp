// Module-wide state that comes into being on first use (character tables, the RSA key object)
// and the state callers set (clock override, log root) used from several threads at once. Built
// with the tsan preset, ThreadSanitizer checks that nothing races.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zqxmlu.h"

namespace {

constexpr int kThreads = 8;

TEST(Threads, FirstUseFromManyThreadsAtOnce) {
    ZqXmlU_SetLogRoot("/var/log/zq/");  // set before the other threads start
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::string> keywords(kThreads);
    std::vector<uint64_t> nows(kThreads);
    std::vector<int> recovered(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            // Character tables: the first keyword names fill them.
            char out[80] = {};
            char text[] = "\xC3\x96lstand 2009 \xE4\xB8\xAD\xE6\x96\x87\xE3\x80\x85";
            ZqXmlU_KeywordizeA(out, text, 64, 0, 0);
            keywords[t] = out;
            // RSA key object: created by the first recovery.
            unsigned char data[128];
            std::memset(data, t + 1, sizeof data);
            unsigned char plain[128];
            recovered[t] = ZqXmlU_DeencryptAuthenticator(data, sizeof data, plain);
            // Clock override and log root: set once, read everywhere.
            if (t == 0) ZqXmlU_SetOverrideNow(1092575132);
            char now[32];
            nows[t] = ZqXmlU_GetTimeString(now, sizeof now, 1, 0, 0);
            EXPECT_STREQ(ZqXmlU_GetLogRoot(), "/var/log/zq/");
            EXPECT_EQ(ZqXmlU_GetLogRootW()[0], u'/');
        });
    }
    while (ready.load() < kThreads)
        std::this_thread::yield();
    go = true;
    for (auto& th : threads)
        th.join();

    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(keywords[t], keywords[0]);
        EXPECT_EQ(recovered[t], recovered[0]);
        EXPECT_GT(nows[t], 2678400u);
    }
    EXPECT_EQ(keywords[0].rfind("\xC3\x96lstand_2009_", 0), 0u) << keywords[0];
    char now[32];
    EXPECT_EQ(ZqXmlU_GetTimeString(now, sizeof now, 0, 0, 0), 1092575132u);
    ZqXmlU_SetOverrideNow(0);
    ZqXmlU_FreeStorage();
}

}  // namespace
