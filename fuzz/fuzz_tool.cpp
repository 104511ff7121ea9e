// The command-line tool as a whole: an argument vector and standard input made from the input,
// run through ToolMain in a scratch folder that holds a few small files. The only expectation is
// an exit status of 0, 1 or 2 (and no crash, leak or undefined behaviour on the way).
//
// Input layout: arguments separated by NUL bytes, then two NUL bytes, then standard input. A '/'
// or '\' in an argument becomes '_', and an argument ".." becomes "_", so that FILE and DIR
// arguments stay inside the scratch folder (library walks it: a few images and sidecars).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tool.h"

namespace {

constexpr size_t kMostArguments = 12;

std::FILE* g_sink = nullptr;  // standard output and error go nowhere

void WriteFile(const char* name, std::string_view bytes) {
    std::FILE* f = std::fopen(name, "wb");
    zqfuzz::Check(f != nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The files a command line may name; -i may have changed them in the run before.
void ResetFiles() {
    WriteFile("doc", "<r a='1'><rdf:Bag><rdf:li>a &amp; b</rdf:li></rdf:Bag><k>v</k></r>\n");
    WriteFile("labels",
              "<Labels>\r\n<Word title=\"KeywordRoot\">\r\n<Word title=\"A\"></Word>\r\n</Word>\r\n"
              "</Labels>\r\n");
    WriteFile("bin", std::string_view("abc\0hello\0T\0e\0s\0t\0\0\0", 20));
    WriteFile("img.jpg", "");
    WriteFile(".img.zqjpg",
              "<rdf:RDF><rdf:Description xmp:CreateDate='2004-07-15T13:05:09+02:00'><dc:subject>"
              "<rdf:Bag><rdf:li>a &amp; b</rdf:li></rdf:Bag></dc:subject></rdf:Description>"
              "</rdf:RDF>");
    WriteFile("dir/b.png", "");
    WriteFile("dir/.b.zqpng", "<rdf:RDF><xmp:ModifyDate>2004-07</xmp:ModifyDate>");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/zqfuzz-tool-XXXXXX";
    zqfuzz::Check(mkdtemp(folder) != nullptr && chdir(folder) == 0);
    zqfuzz::Check(mkdir("dir", 0700) == 0);
    g_sink = std::fopen("/dev/null", "wb");
    zqfuzz::Check(g_sink != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t split = bytes.find(std::string_view("\0\0", 2));
    const std::string_view args = bytes.substr(0, split);
    const std::string_view input =
        split == std::string_view::npos ? std::string_view() : bytes.substr(split + 2);

    std::vector<std::string> words{"zqxmlu"};
    for (size_t start = 0; start <= args.size() && words.size() <= kMostArguments;) {
        const size_t end = std::min(args.find('\0', start), args.size());
        std::string word(args.substr(start, end - start));
        for (char& c : word) {
            if (c == '/' || c == '\\') c = '_';
        }
        if (word == "..") word = "_";
        if (!args.empty()) words.push_back(word);
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    ResetFiles();
    std::string stdinBytes(input);
    std::FILE* in = stdinBytes.empty() ? std::fopen("/dev/null", "rb")
                                       : fmemopen(stdinBytes.data(), stdinBytes.size(), "rb");
    zqfuzz::Check(in != nullptr);
    zqtool::Streams streams;
    streams.in = in;
    streams.out = g_sink;
    streams.err = g_sink;
    const int status = zqtool::ToolMain(static_cast<int>(words.size()), argv.data(), streams);
    std::fclose(in);
    zqfuzz::Check(status >= 0 && status <= 2);
    return 0;
}
