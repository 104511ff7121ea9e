// Text subcommands: escaping and unescaping (also the L form), the needs-escaping test and
// keyword names; and the tool's handling of character references beyond 8 bits.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Writes the UTF-8 form of code point `cp` at `out`; returns its length.
size_t PutUtf8(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | cp >> 12);
        out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

constexpr std::string_view kEntities[] = {"&lt;", "&gt;", "&amp;", "&apos;", "&quot;"};

}  // namespace

size_t WidenReferences(std::string& text, bool more, bool wide, uint64_t offset) {
    const size_t n = text.size();
    size_t w = 0;  // the rewritten text never outgrows what it replaces
    size_t r = 0;
    while (r < n) {
        if (text[r] != '&') {
            text[w++] = text[r++];
            continue;
        }
        const std::string_view rest(text.data() + r, n - r);
        if (rest.size() >= 2 && rest[1] == '#') {
            const bool hex = rest.size() >= 3 && rest[2] == 'x';
            size_t d = hex ? 3 : 2;
            uint32_t value = 0;  // held at 0x110000 once beyond U+10FFFF
            for (int digit; d < rest.size() && (digit = DigitValue(rest[d], hex)) >= 0; ++d) {
                value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(digit),
                                           0x110000);
            }
            if (d >= rest.size() && more) break;  // the reference may go on in the next piece
            // The character that ends the digits belongs to the reference (a NUL ends the text).
            const size_t end = r + d + (d < rest.size() && rest[d] != '\0' ? 1 : 0);
            if (value <= 0xFF) {
                while (r < end)
                    text[w++] = text[r++];
                continue;
            }
            const std::string ref = Quote(rest.substr(0, end - r));
            if (!wide) {
                throw Failure("the reference " + ref + " at offset " + std::to_string(offset + r) +
                              " is beyond 0xFF; the L form holds byte references only");
            }
            if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
                throw Failure("the reference " + ref + " at offset " + std::to_string(offset + r) +
                              " names no Unicode character");
            }
            w += PutUtf8(value, text.data() + w);
            r = end;
            continue;
        }
        if (more && std::any_of(std::begin(kEntities), std::end(kEntities), [&](auto e) {
                return rest.size() < e.size() && e.substr(0, rest.size()) == rest;
            })) {
            break;  // an entity that the next piece may complete
        }
        text[w++] = text[r++];
    }
    // What is left from r on waits for the next piece, after the rewritten part.
    std::memmove(text.data() + w, text.data() + r, n - r);
    text.resize(w + n - r);
    return w;
}

std::string Unescape(std::string_view text) {
    std::string s(text);
    const size_t len = WidenReferences(s, false, true, 0);
    s.push_back('\0');
    char* out = s.data();  // de-escaped in place: the text never grows
    const int n = ZqXmlU_DeEscapeTextA(0, &out, s.data(), static_cast<ZqLong>(len + 1), kToolTag);
    return std::string(s.data(), static_cast<size_t>(std::max(n - 1, 0)));
}

namespace {

struct StreamOptions {
    std::string file = "-";
    bool lform = false;
};

struct KeywordOptions {
    std::string text;
    std::string limit = "64";
    bool code = false;
    bool firstToken = false;
};

// Escapes a piece of input: each run between NUL bytes with `run`, each NUL byte as the library's
// byte escapers write it.
template <typename RunFn, typename NulFn>
void EscapePieces(std::string_view piece, RunFn run, NulFn nul) {
    while (!piece.empty()) {
        const size_t at = std::min(piece.find('\0'), piece.size());
        if (at > 0) run(piece.substr(0, at));
        if (at < piece.size()) nul();
        piece.remove_prefix(std::min(at + 1, piece.size()));
    }
}

void RunEscape(Io& io, const StreamOptions& o) {
    Source in = io.Open(o.file);
    std::string buf;
    uint64_t offset = 0;
    std::vector<char> lform;
    const auto nul = [&io, &o] {
        char piece[16] = {};
        char* cursor = piece;
        if (o.lform) {
            ZqXmlU_EscapeXmlCharL(0, sizeof piece, &cursor);
        } else {
            ZqXmlU_EscapeXmlCharA(0, sizeof piece, &cursor);
        }
        io.Write(std::string_view(piece, static_cast<size_t>(cursor - piece)));
    };
    const auto plain = [&io](std::string_view run) {
        TaggedBlock<char> out;
        ZqXmlU_EscapeXMLStringA(&out.p, const_cast<char*>(run.data()), 0,
                                static_cast<ZqULong>(run.size()), kToolTag);
        io.Write(out.p ? out.p : "");
    };
    const auto wide = [&io, &lform](std::string_view run) {
        const std::vector<char> text = Writable(run);
        lform.assign(12 * (run.size() + 1) + 1, '\0');  // 12 bytes a UTF-16 unit at most
        ZqXmlU_EscapeXmlStringLA(lform.data(), static_cast<int>(lform.size()),
                                 const_cast<char*>(text.data()), nullptr);
        io.Write(lform.data());
    };
    for (bool end = false; !end;) {
        end = in.ReadInto(buf, kChunk) == 0;
        const size_t whole = o.lform && !end ? WholeUtf8(buf) : buf.size();
        const std::string_view piece(buf.data(), whole);
        if (o.lform && InvalidUtf8(piece)) {
            throw Failure("the input is not valid UTF-8 (bytes " + std::to_string(offset) + " to " +
                          std::to_string(offset + whole - 1) + "): the L form escapes UTF-16 text");
        }
        if (o.lform) {
            EscapePieces(piece, wide, nul);
        } else {
            EscapePieces(piece, plain, nul);
        }
        offset += whole;
        buf.erase(0, whole);
    }
}

void RunUnescape(Io& io, const StreamOptions& o) {
    Source in = io.Open(o.file);
    std::string buf;
    uint64_t offset = 0;
    for (bool end = false; !end;) {
        end = in.ReadInto(buf, kChunk) == 0;
        const size_t read = buf.size();
        const size_t done = WidenReferences(buf, !end, true, offset);
        std::string carry = buf.substr(done);
        if (carry.size() > kMiB) {
            throw Failure("a character reference at offset " +
                          std::to_string(offset + read - carry.size()) +
                          " runs on for more than 1 MiB");
        }
        buf.resize(done);
        buf.push_back('\0');
        // Each run between NUL bytes is de-escaped in place; the NUL bytes pass through.
        for (size_t pos = 0; pos < done;) {
            char* run = buf.data() + pos;
            const size_t len = std::strlen(run);
            if (len > 0) {
                char* out = run;
                const int n =
                    ZqXmlU_DeEscapeTextA(0, &out, run, static_cast<ZqLong>(len + 1), kToolTag);
                io.Write(std::string_view(run, static_cast<size_t>(std::max(n - 1, 0))));
            }
            pos += len;
            if (pos < done) {
                io.Write(std::string_view("\0", 1));
                ++pos;
            }
        }
        offset += read - carry.size();
        buf = std::move(carry);
    }
}

void RunUnescapeL(Io& io, const StreamOptions& o) {
    std::string text = io.ReadAll(o.file);
    RefuseNul(text, "the L form");
    const size_t len = WidenReferences(text, false, false, 0);
    text.push_back('\0');
    char* out = text.data();
    const int n =
        ZqXmlU_DeEscapeTextA(0, &out, text.data(), static_cast<ZqLong>(len + 1), kToolTag);
    const size_t bytes = static_cast<size_t>(std::max(n - 1, 0));
    if (bytes % 2 != 0) {
        throw Failure("the L form decodes to " + std::to_string(bytes) +
                      " bytes, an odd number: it is not UTF-16LE");
    }
    std::string utf8;
    if (!Utf16LeToUtf8(std::string_view(text).substr(0, bytes), utf8)) {
        throw Failure("the L form holds an unpaired UTF-16 surrogate");
    }
    io.Write(utf8);
}

void AddStreamCommand(CLI::App& app, Io& io, const char* name, const char* help, const char* rules,
                      void (*run)(Io&, const StreamOptions&)) {
    auto opts = std::make_shared<StreamOptions>();
    CLI::App* cmd = app.add_subcommand(name, help);
    cmd->add_flag("--lform", opts->lform, "L form: escaped bytes of the text's UTF-16LE form");
    AddFile(cmd, opts->file);
    Rules(cmd, rules);
    cmd->callback([opts, run, &io] { run(io, *opts); });
}

}  // namespace

void AddTextCommands(CLI::App& app, Io& io) {
    AddStreamCommand(
        app, io, "escape",
        "Escape text for XML: entities for & < > ' \", decimal references for control bytes",
        "Input: any bytes, any size, streamed. Line ends, tabs and bytes 0x80 to 0xFF pass\n"
        "unchanged; a NUL byte becomes &#x00;. --lform: the input must be UTF-8 (invalid UTF-8\n"
        "is refused); each UTF-16 unit is written as its two escaped bytes, a NUL as\n"
        "&#x00;&#x00;.",
        RunEscape);
    AddStreamCommand(
        app, io, "unescape",
        "Decode entities and character references (--lform: the L form back to UTF-8)",
        "Input: any size, streamed; NUL bytes and line ends pass unchanged. A reference up to "
        "0xFF\n"
        "gives that byte, as the library decodes (&#xE9; is the byte 0xE9; &#; gives a zero "
        "byte);\n"
        "a reference beyond 0xFF gives the UTF-8 form of its character (&#x263A; is U+263A), one\n"
        "beyond U+10FFFF or to a surrogate is refused. --lform: the input is held (256 MiB at\n"
        "most), holds no NUL byte and only byte references; it must decode to UTF-16LE, and every\n"
        "UTF-16 unit comes out as UTF-8 (a NUL unit as a NUL byte).",
        [](Io& io2, const StreamOptions& o) {
            if (o.lform) {
                RunUnescapeL(io2, o);
            } else {
                RunUnescape(io2, o);
            }
        });

    auto needs = std::make_shared<std::string>();
    CLI::App* test = app.add_subcommand(
        "needs-escaping",
        "Print 0 (fine as it is), 1 (malformed reference) or 2 (markup or stray \"&\")");
    test->add_option("TEXT", *needs, "Text to test")->required();
    test->callback([needs, &io] {
        std::vector<char> text = Writable(*needs);
        io.Write(std::to_string(ZqXmlU_NeedsEscapingA(text.data())) + "\n");
    });

    auto kw = std::make_shared<KeywordOptions>();
    CLI::App* keyword =
        app.add_subcommand("keyword", "Turn a label into a keyword name usable as an XML element");
    keyword->add_flag("--code", kw->code, "Prefix \"Code_\" instead of \"Number_\" before a digit");
    keyword->add_flag("--first-token", kw->firstToken,
                      "Use only the text before the first \":\", blank, \">\", \"=\" or \"/\"");
    keyword->add_option("--limit", kw->limit, "Most characters and bytes of the name, 1 to 64")
        ->capture_default_str();
    keyword->add_option("TEXT", kw->text, "Label (UTF-8)")->required();
    Rules(keyword, "TEXT: UTF-8; an empty TEXT gives \"x\".");
    keyword->callback([kw, &io] {
        const int limit = static_cast<int>(ParseNumber("keyword: --limit", kw->limit, 1, 64));
        std::vector<char> text = Writable(kw->text);
        char out[65];
        ZqXmlU_KeywordizeA(out, text.data(), limit, kw->code ? 1 : 0, kw->firstToken ? 1 : 0);
        io.Write(std::string(out) + "\n");
    });
}

}  // namespace zqtool
