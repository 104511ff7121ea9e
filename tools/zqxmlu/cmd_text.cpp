// Text subcommands: escaping and unescaping (also the L form), the needs-escaping test and
// keyword names.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

struct StreamOptions {
    std::string file;
    bool lform = false;
};

struct KeywordOptions {
    std::string text;
    int limit = 64;
    bool code = false;
    bool firstToken = false;
};

void RunEscape(const StreamOptions& o) {
    std::string in = ReadInput(o.file);
    if (o.lform) {
        if (in.size() > (INT32_MAX - 13) / 12) throw Failure("input too large");
        const size_t room = 12 * (in.size() + 1) + 1;
        std::vector<char> out(room);
        ZqXmlU_EscapeXmlStringLA(out.data(), static_cast<int>(room), in.data(), nullptr);
        WriteOutput(out.data());
        return;
    }
    if (in.size() > UINT32_MAX / 8 - 1) throw Failure("input too large");
    TaggedBlock<char> out;
    ZqXmlU_EscapeXMLStringA(&out.p, in.data(), 0, static_cast<ZqULong>(in.size()), kToolTag);
    WriteOutput(out.p ? out.p : "");
}

void RunUnescape(const StreamOptions& o) {
    std::string in = ReadInput(o.file);
    if (in.size() > INT32_MAX / 2 - 10) throw Failure("input too large");
    TaggedBlock<char> out;
    const int n = o.lform ? ZqXmlU_DeEscapeTextLA(0, &out.p, in.data(), 0, kToolTag)
                          : ZqXmlU_DeEscapeTextA(0, &out.p, in.data(), 0, kToolTag);
    // The count includes the final NUL; zero bytes made by references are part of the text.
    if (n > 1) WriteOutput(std::string_view(out.p, static_cast<size_t>(n - 1)));
}

void AddStreamCommand(CLI::App& app, const char* name, const char* help,
                      void (*run)(const StreamOptions&)) {
    auto opts = std::make_shared<StreamOptions>();
    CLI::App* cmd = app.add_subcommand(name, help);
    cmd->add_flag("--lform", opts->lform, "L form: escaped bytes of the text's UTF-16LE form");
    cmd->add_option("FILE", opts->file, "Input file (default: standard input)");
    cmd->callback([opts, run] { run(*opts); });
}

}  // namespace

void AddTextCommands(CLI::App& app) {
    AddStreamCommand(app, "escape",
                     "Escape text for XML: entities, and decimal references for control bytes",
                     RunEscape);
    AddStreamCommand(app, "unescape",
                     "Decode entities and character references (--lform: the L form to UTF-8)",
                     RunUnescape);

    auto needs = std::make_shared<std::string>();
    CLI::App* test = app.add_subcommand(
        "needs-escaping",
        "Print 0 (fine as it is), 1 (malformed reference) or 2 (markup or stray \"&\")");
    test->add_option("TEXT", *needs, "Text to test")->required();
    test->callback(
        [needs] { WriteOutput(std::to_string(ZqXmlU_NeedsEscapingA(needs->data())) + "\n"); });

    auto kw = std::make_shared<KeywordOptions>();
    CLI::App* keyword =
        app.add_subcommand("keyword", "Turn a label into a keyword name usable as an XML element");
    keyword->add_flag("--code", kw->code, "Prefix \"Code_\" instead of \"Number_\" before a digit");
    keyword->add_flag("--first-token", kw->firstToken,
                      "Use only the text before the first \":\", blank, \">\", \"=\" or \"/\"");
    keyword->add_option("--limit", kw->limit, "Most characters and bytes of the name")
        ->check(CLI::Range(0, 64))
        ->capture_default_str();
    keyword->add_option("TEXT", kw->text, "Label (UTF-8)")->required();
    keyword->callback([kw] {
        char out[65];
        ZqXmlU_KeywordizeA(out, kw->text.data(), kw->limit, kw->code ? 1 : 0,
                           kw->firstToken ? 1 : 0);
        WriteOutput(std::string(out) + "\n");
    });
}

}  // namespace zqtool
