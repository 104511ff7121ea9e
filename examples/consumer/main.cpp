// Calls a few exports of an installed ZqXmlU and checks the answers.
#include <zqxmlu.h>

#include <cstdio>
#include <cstring>

int main() {
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        std::printf("%-40s %s\n", what, ok ? "ok" : "FAILED");
        failures += ok ? 0 : 1;
    };

    ZqXmlU_SetLogRoot("/var/log/photos/");
    check(std::strcmp(ZqXmlU_GetLogRoot(), "/var/log/photos/") == 0, "log root");
    ZqXmlU_FreeStorage();

    ZQ_XML_STRUCT_T sink{};
    sink.tag = "cons";
    ZqXmlU_xml_sprintf(&sink, "<%s>%d</%s>", "count", 3, "count");
    check(sink.length == 16 && std::strcmp(sink.buffer, "<count>3</count>") == 0, "output sink");
    ZqXmlU_xml_free(sink.buffer);

    char b64[16];
    check(ZqXmlU_ToBase64("abc", 3, b64, 0, 0) == 5 && std::strcmp(b64, "YWJj=") == 0, "Base64");

    uint32_t digest[5];
    ZqXmlU_Sha1Interval("abc", 0, 2, digest, 0);
    const unsigned char expected[4] = {0xA9, 0x99, 0x3E, 0x36};
    check(std::memcmp(digest, expected, 4) == 0, "SHA-1");

    char text[] = "2004-07-15T13:05:09Z";
    check(ZqXmlU_ParseDate(text, 23, 0, 0) == 1092575132u, "date parsing");

    char* escaped = nullptr;
    char input[] = "a<b & \"c\"";
    char tag[] = "cons";
    ZqXmlU_EscapeXMLStringA(&escaped, input, 0, 0, tag);
    check(escaped && std::strcmp(escaped, "a&lt;b &amp; &quot;c&quot;") == 0, "escaping");
    void* block = escaped;
    ZqXmlU_Free(&block);

    return failures == 0 ? 0 : 1;
}
