// Frame subcommands: the text converters of the platform layer.
#include <algorithm>
#include <memory>
#include <string>

#include "cli.h"
#include "platform/utf.h"

namespace zqtool {

namespace {

struct ConvertOptions {
    std::string to = "utf16";
    std::string file = "-";
};

std::string Range(uint64_t from, uint64_t to) {
    return "bytes " + std::to_string(from) + " to " + std::to_string(to);
}

void ToUtf16(Io& io, Source& in) {
    std::string buf;
    WideText units;
    std::string bytes;
    uint64_t offset = 0;
    for (bool end = false; !end;) {
        end = in.ReadInto(buf, kChunk) == 0;
        const size_t whole = end ? buf.size() : WholeUtf8(buf);
        if (whole == 0) continue;
        const int len = static_cast<int>(whole);
        units.resize(static_cast<size_t>(zq::Utf8ToUtf16(buf.data(), len, nullptr, 0)));
        zq::Utf8ToUtf16(buf.data(), len, units.data(), static_cast<int>(units.size()));
        if (static_cast<size_t>(std::count(units.begin(), units.end(), kReplacementUnit)) !=
            CountReplacements(std::string_view(buf).substr(0, whole))) {
            throw Failure("the input is not valid UTF-8 (" + Range(offset, offset + whole - 1) +
                          ")");
        }
        bytes.clear();
        for (const ZqWChar u : units) {
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
        io.Write(bytes);
        offset += whole;
        buf.erase(0, whole);
    }
}

void ToUtf8(Io& io, Source& in) {
    std::string buf;
    std::string out;
    uint64_t offset = 0;
    for (bool end = false; !end;) {
        end = in.ReadInto(buf, kChunk) == 0;
        if (end && buf.size() % 2 != 0) {
            throw Failure("the UTF-16LE input ends in half a unit (an odd number of bytes)");
        }
        size_t whole = buf.size() / 2 * 2;
        // A high surrogate at the end waits for its partner in the next piece.
        if (!end && whole >= 2 && (static_cast<unsigned char>(buf[whole - 1]) & 0xFC) == 0xD8) {
            whole -= 2;
        }
        if (whole == 0) continue;
        if (!Utf16LeToUtf8(std::string_view(buf).substr(0, whole), out)) {
            throw Failure("the input is not valid UTF-16LE: an unpaired surrogate (" +
                          Range(offset, offset + whole - 1) + ")");
        }
        io.Write(out);
        offset += whole;
        buf.erase(0, whole);
    }
}

}  // namespace

void AddFrameCommands(CLI::App& app, Io& io) {
    auto opts = std::make_shared<ConvertOptions>();
    CLI::App* convert =
        app.add_subcommand("convert", "Convert UTF-8 to UTF-16LE or back, as the library converts");
    convert
        ->add_option("--to", opts->to,
                     "Target encoding: utf16 (from UTF-8) or utf8 (from UTF-16LE)")
        ->capture_default_str();
    AddFile(convert, opts->file);
    Rules(
        convert,
        "Input: any size, streamed; every byte is converted (NUL and line ends included, no byte\n"
        "order mark added or removed). Input that is not valid UTF-8 (or UTF-16LE) is refused\n"
        "with exit status 1: the converter would replace it by U+FFFD.");
    convert->callback([opts, &io] {
        if (opts->to != "utf16" && opts->to != "utf8") {
            throw UsageError("convert: --to must be utf16 or utf8, not " + Quote(opts->to));
        }
        Source in = io.Open(opts->file);
        if (opts->to == "utf16") {
            ToUtf16(io, in);
        } else {
            ToUtf8(io, in);
        }
    });
}

}  // namespace zqtool
