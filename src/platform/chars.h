// Character tests shared by the XML operations.
#ifndef ZQ_PLATFORM_CHARS_H
#define ZQ_PLATFORM_CHARS_H

namespace zq {

// White space of the XML operations: exactly space, tab, carriage return and line feed.
constexpr bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace zq

#endif  // ZQ_PLATFORM_CHARS_H
