// Metadata subcommands: the XMP packet of a label document, history entries, parameter elements,
// Base64 of de-escaped values, sidecar and shrunk names, compartments and numbered names.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/utf.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

// The document goes back to the file with -i, else to standard output.
void Deliver(const std::string& file, bool inPlace, const char* text) {
    if (inPlace)
        WriteFile(file, text);
    else
        WriteOutput(text);
}

void RunXmp(const std::string& file) {
    std::vector<char> labels = Writable(ReadInput(file));
    ZQ_XML_STRUCT_T sink{};
    sink.tag = kToolTag;
    ZqXmlU_MakeMsdisXml(labels.data(), &sink);
    const std::unique_ptr<char, bool (*)(char*)> buffer(sink.buffer, ZqXmlU_xml_free);
    if (sink.length <= 0) throw Failure("not a label document (\"<Labels>\" ... \"</Labels>\")");
    std::string out;
    out.reserve(static_cast<size_t>(sink.length) + static_cast<size_t>(sink.length) / 16);
    for (int i = 0; i < sink.length; ++i) {
        if (sink.buffer[i] == '\n') out.push_back('\r');
        out.push_back(sink.buffer[i]);
    }
    WriteOutput(out);
}

struct HistoryOptions {
    std::string history, entry, file;
    bool inPlace = false;
};

void RunHistory(const HistoryOptions& o) {
    SharedText doc(ReadInput(o.file));
    std::vector<char> name = Writable(o.history), entry = Writable(o.entry);
    if (ZqXmlU_AddHistoryEntry(doc.get(), name.data(), nullptr, entry.data()) != 0)
        throw Failure("no element <" + o.history + "> with an rdf:Seq end tag inside");
    Deliver(o.file, o.inPlace, doc.get());
}

struct ParamOptions {
    std::string name, value, attributes, anchor, file;
    bool hasAnchor = false;
    bool inPlace = false;
};

void RunParam(const ParamOptions& o) {
    SharedText doc(ReadInput(o.file));
    std::vector<char> name = Writable(o.name), value = Writable(o.value);
    std::vector<char> attributes = Writable(o.attributes), anchor = Writable(o.anchor);
    if (ZqXmlU_FixParam(doc.get(), name.data(), attributes.data(), value.data(),
                        o.hasAnchor ? anchor.data() : nullptr) == 3)
        throw Failure("element <" + o.name + "> has no end tag");
    Deliver(o.file, o.inPlace, doc.get());
}

void RunBinhex(const std::string& text) {
    std::vector<char> in = Writable(text);
    // The de-escaped text is never longer than the input; its NUL is encoded too.
    std::string out(4 * ((text.size() + 1 + 2) / 3) + 2, '\0');
    ZqXmlU_NeedsBinhex(in.data(), out.data());
    out.resize(std::strlen(out.c_str()));
    WriteOutput(out + "\n");
}

std::u16string ToUtf16(const std::string& s) {
    const int n = zq::Utf8ToUtf16(s.c_str(), -1, nullptr, 0);
    std::u16string w(static_cast<size_t>(n), u'\0');
    zq::Utf8ToUtf16(s.c_str(), -1, w.data(), n);
    return w;
}

std::string ToUtf8(const ZqWChar* w) {
    const int n = zq::Utf16ToUtf8(w, -1, nullptr, 0);
    std::string s(static_cast<size_t>(n), '\0');
    zq::Utf16ToUtf8(w, -1, s.data(), n);
    s.resize(std::strlen(s.c_str()));
    return s;
}

void RunSidecar(const std::string& path) {
    std::vector<char> in = Writable(path);
    TaggedBlock<char> out;
    ZqXmlU_GetSidecarNameA(in.data(), out.p);
    if (!out.p) throw Failure("no folder or no extension of 1 to 9 characters in " + path);
    WriteOutput(std::string(out.p) + "\n");
}

void RunShrunk(const std::string& path) {
    std::u16string in = ToUtf16(path);
    TaggedBlock<ZqWChar> out;
    ZqXmlU_GetShrunkNameW(in.data(), out.p);
    if (!out.p) throw Failure("no folder or no extension of 1 to 9 characters in " + path);
    WriteOutput(ToUtf8(out.p) + "\n");
}

void RunNextName(const std::string& name, int size) {
    std::vector<char> in = Writable(name);
    std::vector<char> out(static_cast<size_t>(size), '\0');
    ZqXmlU_IncrementKeywordName(in.data(), out.data(), size);
    WriteOutput(std::string(out.data()) + "\n");
}

}  // namespace

void AddMetadataCommands(CLI::App& app) {
    auto xmpFile = std::make_shared<std::string>();
    CLI::App* xmp = app.add_subcommand(
        "xmp",
        "Write the XMP keyword packet of a label document. Every leaf label becomes one rdf:li "
        "path; lines end in CR LF, as the host stores the packet");
    xmp->add_option("LABELS", *xmpFile, "Label document (default: standard input)");
    xmp->callback([xmpFile] { RunXmp(*xmpFile); });

    auto history = std::make_shared<HistoryOptions>();
    CLI::App* historyCmd = app.add_subcommand("history", "Edit the history of a metadata document");
    historyCmd->require_subcommand(1);
    CLI::App* add = historyCmd->add_subcommand(
        "add",
        "Insert ENTRY (as given, unescaped) at the end of the rdf:Seq inside the element HISTORY "
        "and write the document");
    add->add_option("HISTORY", history->history, "Name of the history element")->required();
    add->add_option("ENTRY", history->entry, "The entry's XML text")->required();
    add->add_option("FILE", history->file, "Metadata document (default: standard input)");
    add->add_flag("-i,--in-place", history->inPlace, "Rewrite FILE instead of printing");
    add->callback([history] {
        if (history->inPlace && (history->file.empty() || history->file == "-"))
            throw UsageError("--in-place needs a FILE");
        RunHistory(*history);
    });

    auto param = std::make_shared<ParamOptions>();
    CLI::App* paramCmd = app.add_subcommand("param", "Edit parameter elements");
    paramCmd->require_subcommand(1);
    CLI::App* set = paramCmd->add_subcommand(
        "set",
        "Set the value of element NAME, creating it after the anchor's start tag when missing "
        "(default anchor: the product's exif rdf:Description); write the document");
    set->add_option("NAME", param->name, "Element name")->required();
    set->add_option("VALUE", param->value, "New content (as given, unescaped)")->required();
    set->add_option("--attributes", param->attributes,
                    "Attributes of a new or grown element's start tag");
    set->add_option("--anchor", param->anchor, "Text of the start tag to insert after");
    set->add_option("FILE", param->file, "Metadata document (default: standard input)");
    set->add_flag("-i,--in-place", param->inPlace, "Rewrite FILE instead of printing");
    set->callback([param, set] {
        param->hasAnchor = set->count("--anchor") > 0;
        if (param->inPlace && (param->file.empty() || param->file == "-"))
            throw UsageError("--in-place needs a FILE");
        RunParam(*param);
    });

    auto binhexText = std::make_shared<std::string>();
    CLI::App* binhex =
        app.add_subcommand("binhex", "De-escape TEXT and print the Base64 of its bytes and NUL");
    binhex->add_option("TEXT", *binhexText, "Escaped text")->required();
    binhex->callback([binhexText] { RunBinhex(*binhexText); });

    auto sidecarPath = std::make_shared<std::string>();
    CLI::App* sidecar = app.add_subcommand(
        "sidecar", "Print the sidecar name of an image path (C:\\a\\b.jpg -> C:\\a\\.b.zqjpg)");
    sidecar->add_option("PATH", *sidecarPath, "Image path with \\ separators")->required();
    sidecar->callback([sidecarPath] { RunSidecar(*sidecarPath); });

    auto shrunkPath = std::make_shared<std::string>();
    CLI::App* shrunk = app.add_subcommand(
        "shrunk",
        "Print the first free shrunk-copy name of an image path (s_b.jpg, s_b_1.jpg, ...), "
        "testing the real file system (\\ is taken as /)");
    shrunk->add_option("PATH", *shrunkPath, "Image path with \\ separators")->required();
    shrunk->callback([shrunkPath] { RunShrunk(*shrunkPath); });

    auto compartmentName = std::make_shared<std::string>();
    CLI::App* compartment = app.add_subcommand(
        "compartment", "Print the number of a metadata compartment name (unknown names: 0)");
    compartment->add_option("NAME", *compartmentName, "Compartment name")->required();
    compartment->callback([compartmentName] {
        std::vector<char> name = Writable(*compartmentName);
        WriteOutput(std::to_string(ZqXmlU_WhichCompartment(name.data())) + "\n");
    });

    auto nextName = std::make_shared<std::string>();
    auto nextSize = std::make_shared<int>(65);
    CLI::App* next = app.add_subcommand(
        "next-name", "Print the next name of a numbered series (Keyword -> Keyword2 -> Keyword3)");
    next->add_option("NAME", *nextName, "Current name")->required();
    next->add_option("--size", *nextSize, "Buffer size of the result in bytes, NUL included")
        ->check(CLI::Range(1, 1 << 20))
        ->capture_default_str();
    next->callback([nextName, nextSize] { RunNextName(*nextName, *nextSize); });
}

}  // namespace zqtool
