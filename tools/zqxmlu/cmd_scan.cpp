// Scanning subcommands: the element tree of a document, reading, cutting and inserting elements,
// and the comment that lists the readable strings of a binary file.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace zqtool {

namespace {

struct ElementOptions {
    std::string name;
    std::string file;
    std::string anchor;
    std::string insertion;
    int pos = 0;
    int replace = 0;
    bool anyPrefix = false;
    bool inPlace = false;
};

// Writes an edited text to standard output, or back to the file with -i.
void Emit(const ElementOptions& o, const char* text) {
    if (o.inPlace) {
        WriteFile(o.file, text);
    } else {
        WriteOutput(text);
    }
}

void RequireFileForInPlace(const ElementOptions& o) {
    if (o.inPlace && (o.file.empty() || o.file == "-"))
        throw UsageError("-i needs a FILE to write back to");
}

void RunTree(const std::string& file) {
    SharedText text(ReadInput(file));
    ZQ_XML_STRUCT_T sink{};
    sink.buffer = text.get();
    sink.length = static_cast<int>(std::strlen(sink.buffer));
    sink.capacity = sink.length + 1;
    CTreeCtrl tree;
    const int r = ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, 0, 0);
    WriteOutput(tree.Print());
    if (r != 1)
        throw Failure("markup ends unclosed, or an element name is longer than 64 characters");
}

void RunGet(const ElementOptions& o) {
    SharedText text(ReadInput(o.file));
    TaggedBlock<char> contents;
    if (ZqXmlU_GetElementContents(text.get(), const_cast<char*>(o.name.c_str()), &contents.p,
                                  nullptr, 1, 0, 0, kToolTag) != 1) {
        throw Failure("no element " + o.name + " with an end tag");
    }
    WriteOutput(std::string(contents.p ? contents.p : "") + "\n");
}

void RunItems(const ElementOptions& o) {
    SharedText text(ReadInput(o.file));
    ZQ_KWLIST_STRUCT_T items{};
    const int r = ZqXmlU_GetElementContents(text.get(), const_cast<char*>(o.name.c_str()), nullptr,
                                            &items, 2, 0, 0, kToolTag);
    std::string out;
    for (int i = 0; i < items.count; ++i) {
        out += reinterpret_cast<const char*>(items.keys[i]);
        out += '\n';
    }
    ZqXmlU_FreeKwAllocList(&items);
    WriteOutput(out);
    if (r != 1) throw Failure("no element " + o.name + " with an end tag, or an item without one");
}

// The messages of the element editors' result codes: 1 no end tag, 2 no start tag, other: the
// start or end tag is not closed.
[[noreturn]] void FailElement(int code, const std::string& name, const char* unclosedTag) {
    if (code == 1) throw Failure("element " + name + " has no end tag");
    if (code == 2) throw Failure("no element " + name);
    throw Failure(std::string("the ") + unclosedTag + " tag of " + name + " is not closed");
}

void RunParam(const ElementOptions& o) {
    SharedText text(ReadInput(o.file));
    const size_t size = std::strlen(text.get()) + 1;
    std::vector<char> value(size);
    const int r = ZqXmlU_GetParam(text.get(), const_cast<char*>(o.name.c_str()), value.data(),
                                  static_cast<int>(size));
    if (r != 0) FailElement(r, o.name, "start");
    WriteOutput(std::string(value.data()) + "\n");
}

void RunCut(const ElementOptions& o) {
    RequireFileForInPlace(o);
    SharedText text(ReadInput(o.file));
    const int r = ZqXmlU_Excise(text.get(), const_cast<char*>(o.name.c_str()), o.anyPrefix);
    if (r != 0) FailElement(r, o.name, "end");
    Emit(o, text.get());
}

void RunInsert(const ElementOptions& o) {
    RequireFileForInPlace(o);
    if (o.anchor.empty() == (o.pos == 0)) throw UsageError("give either --anchor or --pos");
    SharedText text(ReadInput(o.file));
    int unused = 0;
    const int r = ZqXmlU_InsertString(text.get(), unused, const_cast<char*>(o.insertion.c_str()),
                                      const_cast<char*>(o.anchor.c_str()), o.pos, o.replace);
    if (r == 0) throw Failure(o.pos ? "position beyond the text" : "anchor not found");
    if (r < 0) throw Failure("the tag holding the anchor is not closed");
    Emit(o, text.get());
}

void RunStrings(const std::string& file) {
    const std::string data = ReadInput(file);
    if (data.size() > (64u << 20)) throw Failure("input larger than 64 MiB");
    std::vector<unsigned char> bytes(data.begin(), data.end());
    char* document = nullptr;
    char* writePos = nullptr;
    unsigned capacity = 0;
    ZqXmlU_ExtractComment(bytes.data(), writePos, document, capacity,
                          static_cast<unsigned>(bytes.size()));
    if (!document) throw Failure("out of memory");
    const std::string comment(document, writePos);
    ZqXmlU_xml_free(document);
    WriteOutput(comment);
}

}  // namespace

void AddScanCommands(CLI::App& app) {
    auto treeFile = std::make_shared<std::string>();
    CLI::App* tree = app.add_subcommand("tree", "Show the element tree of a document, indented");
    tree->add_option("FILE", *treeFile, "Document (default: standard input)");
    tree->callback([treeFile] { RunTree(*treeFile); });

    CLI::App* element = app.add_subcommand("element", "Read, cut or insert elements of a document");
    element->require_subcommand(1);
    auto addElementCommand = [element](const char* name, const char* help,
                                       void (*run)(const ElementOptions&)) {
        auto o = std::make_shared<ElementOptions>();
        CLI::App* cmd = element->add_subcommand(name, help);
        cmd->callback([o, run] { run(*o); });
        return std::make_pair(cmd, o);
    };

    auto [get, getOpts] =
        addElementCommand("get", "Print the raw content of the first element NAME", &RunGet);
    get->add_option("NAME", getOpts->name, "Element name")->required();
    get->add_option("FILE", getOpts->file, "Document (default: standard input)");

    auto [items, itemsOpts] = addElementCommand(
        "items", "Print the list items (rdf:li) from element NAME on, one a line", &RunItems);
    items->add_option("NAME", itemsOpts->name, "Element name")->required();
    items->add_option("FILE", itemsOpts->file, "Document (default: standard input)");

    auto [param, paramOpts] =
        addElementCommand("param",
                          "Print the raw content of the first element NAME with a "
                          "start tag of its own (not self-closing)",
                          &RunParam);
    param->add_option("NAME", paramOpts->name, "Element name")->required();
    param->add_option("FILE", paramOpts->file, "Document (default: standard input)");

    auto [cut, cutOpts] = addElementCommand(
        "cut", "Cut the first element NAME and the white space after it out of the document",
        &RunCut);
    cut->add_option("NAME", cutOpts->name, "Element name")->required();
    cut->add_flag("--any-prefix", cutOpts->anyPrefix, "Also match NAME under any namespace prefix");
    cut->add_flag("-i,--in-place", cutOpts->inPlace, "Write the result back to FILE");
    cut->add_option("FILE", cutOpts->file, "Document (default: standard input)");

    auto [insert, insertOpts] = addElementCommand(
        "insert", "Insert text right after the tag that holds the anchor (or at a position)",
        &RunInsert);
    insert->add_option("--anchor", insertOpts->anchor, "Text inside the tag to insert after");
    insert->add_option("--pos", insertOpts->pos, "Insert at this index instead (1 or more)")
        ->check(CLI::PositiveNumber);
    insert
        ->add_option("--replace", insertOpts->replace,
                     "Characters after the insertion point to replace")
        ->check(CLI::NonNegativeNumber);
    insert->add_flag("-i,--in-place", insertOpts->inPlace, "Write the result back to FILE");
    insert->add_option("INSERTION", insertOpts->insertion, "Text to insert")->required();
    insert->add_option("FILE", insertOpts->file, "Document (default: standard input)");

    auto stringsFile = std::make_shared<std::string>();
    CLI::App* strings = app.add_subcommand(
        "strings", "Print the XML comment that lists the readable strings of a binary file");
    strings->add_option("FILE", *stringsFile, "Binary file (default: standard input)");
    strings->callback([stringsFile] { RunStrings(*stringsFile); });
}

}  // namespace zqtool
