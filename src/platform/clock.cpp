#include "platform/clock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#endif

namespace zq {

UtcTime UtcNow() {
#if defined(_WIN32)
    SYSTEMTIME st;
    GetSystemTime(&st);
    return UtcTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
#else
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    return UtcTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
#endif
}

}  // namespace zq
