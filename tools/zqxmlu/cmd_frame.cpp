// Frame subcommands: the text converters of the platform layer.
#include <memory>
#include <string>

#include "cli.h"
#include "platform/utf.h"

namespace zqtool {

namespace {

struct ConvertOptions {
    std::string to = "utf16";
    std::string file;
};

void RunConvert(const ConvertOptions& o) {
    const std::string in = ReadInput(o.file);
    if (in.empty()) return;
    if (in.size() > 0x7FFFFFFF) throw Failure("input too large");
    if (o.to == "utf16") {
        const int n = zq::Utf8ToUtf16(in.data(), static_cast<int>(in.size()), nullptr, 0);
        std::u16string out(static_cast<size_t>(n), u'\0');
        zq::Utf8ToUtf16(in.data(), static_cast<int>(in.size()), out.data(), n);
        std::string bytes;
        bytes.reserve(out.size() * 2);
        for (char16_t u : out) {
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
        WriteOutput(bytes);
        return;
    }
    if (in.size() % 2 != 0) throw Failure("UTF-16LE input has an odd number of bytes");
    std::u16string units(in.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(in[2 * i]) |
                                         (static_cast<unsigned char>(in[2 * i + 1]) << 8));
    }
    const int len = static_cast<int>(units.size());
    const int n = zq::Utf16ToUtf8(units.data(), len, nullptr, 0);
    std::string out(static_cast<size_t>(n), '\0');
    zq::Utf16ToUtf8(units.data(), len, out.data(), n);
    WriteOutput(out);
}

}  // namespace

void AddFrameCommands(CLI::App& app) {
    auto opts = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert UTF-8 to UTF-16LE or back (invalid input becomes U+FFFD)");
    convert->add_option("--to", opts->to, "Target encoding")
        ->check(CLI::IsMember({"utf16", "utf8"}))
        ->capture_default_str();
    convert->add_option("FILE", opts->file, "Input file (default: standard input)");
    convert->callback([opts] { RunConvert(*opts); });
}

}  // namespace zqtool
