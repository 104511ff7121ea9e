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

// Every line end as CR LF: the label reader drops each CR or LF with the byte after it.
std::string CrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void RunXmp(Io& io, const std::string& file) {
    const std::string text = io.ReadAll(file);
    RefuseNul(text, "the label document");
    std::vector<char> labels = Writable(CrLf(text));
    ZQ_XML_STRUCT_T sink{};
    sink.tag = kToolTag;
    ZqXmlU_MakeMsdisXml(labels.data(), &sink);
    const SharedOwner buffer(sink.buffer);
    if (sink.length <= 0) {
        throw Failure("not a label document: it must begin with <Labels> and end with </Labels>");
    }
    std::string out;
    out.reserve(static_cast<size_t>(sink.length) + static_cast<size_t>(sink.length) / 16);
    for (int i = 0; i < sink.length; ++i) {
        if (sink.buffer[i] == '\n') out.push_back('\r');
        out.push_back(sink.buffer[i]);
    }
    io.Write(out);
}

// The document was left as it was.
bool Unchanged(const char* edited, const std::string& original) {
    return std::strlen(edited) == original.size() &&
           std::memcmp(edited, original.data(), original.size()) == 0;
}

struct HistoryOptions {
    std::string history, entry;
    Target target;
};

void RunHistory(Io& io, const HistoryOptions& o) {
    if (o.entry.empty()) throw UsageError("history add: ENTRY is empty: nothing to add");
    CheckTarget(o.target);
    const std::string document = ReadDocument(io, o.target.file);
    SharedText doc(document);
    std::vector<char> name = Writable(o.history);
    std::vector<char> entry = Writable(o.entry);
    if (ZqXmlU_AddHistoryEntry(doc.get(), name.data(), nullptr, entry.data()) != 0 ||
        Unchanged(doc.get(), document)) {
        throw Failure("no element " + Quote(o.history) + " with an rdf:Seq end tag inside");
    }
    Deliver(io, o.target, doc.get());
}

struct ParamOptions {
    std::string name, value, attributes, anchor;
    Target target;
    bool hasAnchor = false;
};

void RunParam(Io& io, const ParamOptions& o) {
    if (o.name.empty() || o.name.find_first_of(" \t\r\n<>/\"'&=") != std::string::npos) {
        throw UsageError("param set: NAME must be an element name, not " + Quote(o.name));
    }
    CheckTarget(o.target);
    const std::string document = ReadDocument(io, o.target.file);
    SharedText doc(document);
    std::vector<char> name = Writable(o.name);
    std::vector<char> attributes = Writable(o.attributes);
    std::vector<char> anchor = Writable(o.anchor);
    // VALUE is text: escaped, so that the document stays well-formed.
    TaggedBlock<char> value;
    std::vector<char> plain = Writable(o.value);
    ZqXmlU_EscapeXMLStringA(&value.p, plain.data(), 0, 0, kToolTag);
    char probe[1];
    const bool present = ZqXmlU_GetParam(doc.get(), name.data(), probe, sizeof probe) != 2;
    const int r =
        ZqXmlU_FixParam(doc.get(), name.data(), attributes.data(), value.p ? value.p : plain.data(),
                        o.hasAnchor ? anchor.data() : nullptr);
    if (r == 3) throw Failure("element " + Quote(o.name) + " has no end tag");
    if (r != 0) throw Failure("the document cannot take the element");
    if (!present && Unchanged(doc.get(), document)) {
        throw Failure("no element " + Quote(o.name) + ", and no " +
                      (o.hasAnchor ? "tag holding " + Quote(o.anchor)
                                   : std::string("exif rdf:Description of the product")) +
                      " to create it after");
    }
    Deliver(io, o.target, doc.get());
}

void RunBinhex(Io& io, const std::string& text) {
    std::string widened = text;
    WidenReferences(widened, false, true, 0);
    std::vector<char> in = Writable(widened);
    // The de-escaped text is never longer than its input; its NUL is encoded too.
    std::string out(4 * ((widened.size() + 1 + 2) / 3) + 2, '\0');
    ZqXmlU_NeedsBinhex(in.data(), out.data());
    out.resize(std::strlen(out.c_str()));
    io.Write(out + "\n");
}

constexpr const char* kNoName =
    ": it needs a \\ folder and a file name with an extension of 1 to 9 characters";

void RunSidecar(Io& io, const std::string& path) {
    std::vector<char> in = Writable(path);
    TaggedBlock<char> out;
    ZqXmlU_GetSidecarNameA(in.data(), out.p);
    if (!out.p) throw Failure("no sidecar name for " + Quote(path) + kNoName);
    io.Write(std::string(out.p) + "\n");
}

void RunShrunk(Io& io, const std::string& path) {
    if (InvalidUtf8(path)) throw UsageError("PATH is not valid UTF-8: " + Quote(path));
    WideText in = ToUtf16(path);
    TaggedBlock<ZqWChar> out;
    ZqXmlU_GetShrunkNameW(in.data(), out.p);
    if (!out.p) {
        throw Failure("no shrunk-copy name for " + Quote(path) + kNoName +
                      ", and a free name up to s_NAME_9999999");
    }
    io.Write(ToUtf8(out.p) + "\n");
}

void RunNextName(Io& io, const std::string& name, const std::string& sizeText) {
    const int size = static_cast<int>(ParseNumber("next-name: --size", sizeText, 2, 1 << 20));
    std::vector<char> in = Writable(name);
    std::vector<char> out(static_cast<size_t>(size), '\0');
    ZqXmlU_IncrementKeywordName(in.data(), out.data(), size);
    io.Write(std::string(out.data()) + "\n");
}

}  // namespace

void AddMetadataCommands(CLI::App& app, Io& io) {
    auto xmpFile = std::make_shared<std::string>("-");
    CLI::App* xmp = app.add_subcommand(
        "xmp",
        "Write the XMP keyword packet of a label document. Every leaf label becomes one rdf:li "
        "path; lines end in CR LF, as the host stores the packet");
    AddFile(xmp, *xmpFile, "Label document (absent or -: standard input)");
    Rules(xmp,
          "Input: a label document (<Labels> ... </Labels>), held whole (256 MiB at most); line\n"
          "ends LF, CR LF or CR (each becomes CR LF before the library reads it); a NUL byte is\n"
          "refused.");
    xmp->callback([xmpFile, &io] { RunXmp(io, *xmpFile); });

    auto history = std::make_shared<HistoryOptions>();
    CLI::App* historyCmd = app.add_subcommand("history", "Edit the history of a metadata document");
    historyCmd->require_subcommand(1);
    CLI::App* add = historyCmd->add_subcommand(
        "add",
        "Insert ENTRY (XML, as given) at the end of the rdf:Seq inside the element HISTORY and "
        "write the document");
    add->add_option("HISTORY", history->history, "Name of the history element")->required();
    add->add_option("ENTRY", history->entry, "The entry's XML text")->required();
    AddTarget(add, history->target);
    Rules(add, kDocumentRules);
    add->callback([history, &io] { RunHistory(io, *history); });

    auto param = std::make_shared<ParamOptions>();
    CLI::App* paramCmd = app.add_subcommand("param", "Edit parameter elements");
    paramCmd->require_subcommand(1);
    CLI::App* set = paramCmd->add_subcommand(
        "set",
        "Set the text of element NAME, creating it after the anchor's start tag when missing "
        "(default anchor: the product's exif rdf:Description); write the document");
    set->add_option("NAME", param->name, "Element name")->required();
    set->add_option("VALUE", param->value, "New text content (the tool escapes it)")->required();
    set->add_option("--attributes", param->attributes,
                    "Attributes (XML, as given) of a new or grown element's start tag");
    set->add_option("--anchor", param->anchor, "Text inside the start tag to insert after");
    AddTarget(set, param->target);
    Rules(set, std::string(kDocumentRules) +
                   "\nNo element NAME and no anchor tag to create it after is exit status 1.");
    set->callback([param, set, &io] {
        param->hasAnchor = set->count("--anchor") > 0;
        RunParam(io, *param);
    });

    auto binhexText = std::make_shared<std::string>();
    CLI::App* binhex =
        app.add_subcommand("binhex", "De-escape TEXT and print the Base64 of its bytes and NUL");
    binhex->add_option("TEXT", *binhexText, "Escaped text")->required();
    Rules(binhex, "TEXT is de-escaped as unescape does (a reference beyond 0xFF gives UTF-8).");
    binhex->callback([binhexText, &io] { RunBinhex(io, *binhexText); });

    auto sidecarPath = std::make_shared<std::string>();
    CLI::App* sidecar = app.add_subcommand(
        "sidecar", "Print the sidecar name of an image path (C:\\a\\b.jpg -> C:\\a\\.b.zqjpg)");
    sidecar->add_option("PATH", *sidecarPath, "Image path with \\ separators")->required();
    sidecar->callback([sidecarPath, &io] { RunSidecar(io, *sidecarPath); });

    auto shrunkPath = std::make_shared<std::string>();
    CLI::App* shrunk = app.add_subcommand(
        "shrunk",
        "Print the first free shrunk-copy name of an image path (s_b.jpg, s_b_1.jpg, ...), "
        "testing the real file system (\\ is taken as /)");
    shrunk->add_option("PATH", *shrunkPath, "Image path with \\ separators, UTF-8")->required();
    shrunk->callback([shrunkPath, &io] { RunShrunk(io, *shrunkPath); });

    auto compartmentName = std::make_shared<std::string>();
    CLI::App* compartment = app.add_subcommand(
        "compartment", "Print the number of a metadata compartment name (0 to 8)");
    compartment->add_option("NAME", *compartmentName, "Compartment name")->required();
    compartment->callback([compartmentName, &io] {
        std::vector<char> name = Writable(*compartmentName);
        const int number = ZqXmlU_WhichCompartment(name.data());
        if (number == 0 && *compartmentName != "zqmd") {
            throw Failure("unknown compartment " + Quote(*compartmentName) +
                          " (known: zqmd, iptc, exif, xmp, id3, stat, photoshop, mp3, none)");
        }
        io.Write(std::to_string(number) + "\n");
    });

    auto nextName = std::make_shared<std::string>();
    auto nextSize = std::make_shared<std::string>("65");
    CLI::App* next = app.add_subcommand(
        "next-name", "Print the next name of a numbered series (Keyword -> Keyword2 -> Keyword3)");
    next->add_option("NAME", *nextName, "Current name")->required();
    next->add_option("--size", *nextSize,
                     "Buffer size of the result in bytes, NUL included, 2 to 1048576 (a longer "
                     "name is cut to fit)")
        ->capture_default_str();
    next->callback([nextName, nextSize, &io] { RunNextName(io, *nextName, *nextSize); });
}

}  // namespace zqtool
