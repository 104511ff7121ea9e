// Scanning subcommands: the element tree of a document, reading, cutting and inserting elements,
// and the comment that lists the readable strings of a binary file.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/console.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace zqtool {

namespace {

struct ElementOptions {
    std::string name;
    Target target;
    std::string anchor;
    std::string insertion;
    std::string pos;
    std::string replace = "0";
    bool anyPrefix = false;
    bool hasAnchor = false;
    bool hasPos = false;
};

void RunTree(Io& io, const std::string& file) {
    SharedText text(ReadDocument(io, file));
    ZQ_XML_STRUCT_T sink{};
    sink.buffer = text.get();
    sink.length = static_cast<int>(std::strlen(sink.buffer));
    sink.capacity = sink.length + 1;
    zq::TreeHost host;
    if (!host.Valid()) throw Failure("cannot make a tree-view window (is there a display?)");
    CTreeCtrl& tree = host.Control();
    const int r = ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, 0, 0);
    // One line an item, written as the walk goes: the output of a deep tree is never held.
    std::string line;
    size_t depth = 0;
    for (HTREEITEM item = tree.GetRootItem(); item;) {
        line.assign(2 * depth, ' ');
        line += tree.GetItemText(item);
        line += '\n';
        io.Write(line);
        if (HTREEITEM child = tree.GetChildItem(item)) {
            item = child;
            ++depth;
            continue;
        }
        while (item && !tree.GetNextSiblingItem(item)) {
            item = tree.GetParentItem(item);
            if (depth > 0) --depth;
        }
        if (item) item = tree.GetNextSiblingItem(item);
    }
    if (r != 1) {
        throw Failure(
            "the markup ends unclosed, or an element name is longer than 64 characters (the "
            "elements before it are printed)");
    }
    if (!tree.GetRootItem()) throw Failure("the document holds no element");
}

// The raw content of the first element `name`, NULL when empty. Throws Failure when it is missing.
void Contents(char* text, const std::string& name, TaggedBlock<char>& contents) {
    std::vector<char> n = Writable(name);
    if (ZqXmlU_GetElementContents(text, n.data(), &contents.p, nullptr, 1, 0, 0, kToolTag) != 1) {
        throw Failure("no element " + Quote(name) + " with an end tag");
    }
}

void RunGet(Io& io, const ElementOptions& o) {
    std::vector<char> text = Writable(ReadDocument(io, o.target.file));
    TaggedBlock<char> contents;
    Contents(text.data(), o.name, contents);
    io.Write(std::string(contents.p ? contents.p : "") + "\n");
}

void RunItems(Io& io, const ElementOptions& o) {
    std::vector<char> text = Writable(ReadDocument(io, o.target.file));
    std::vector<std::string> items;
    if (!ElementItems(text.data(), o.name, items)) {
        throw Failure("no element " + Quote(o.name) + " with an end tag");
    }
    if (items.empty()) throw Failure("element " + Quote(o.name) + " holds no rdf:li item");
    std::string out;
    for (const std::string& item : items) {
        out += item;
        out += '\n';
    }
    io.Write(out);
}

// The messages of the element editors' result codes: 1 no end tag, 2 no start tag, other: the
// start or end tag is not closed.
[[noreturn]] void FailElement(int code, const std::string& name, const char* unclosedTag) {
    if (code == 1) throw Failure("element " + Quote(name) + " has no end tag");
    if (code == 2) throw Failure("no element " + Quote(name));
    throw Failure(std::string("the ") + unclosedTag + " tag of " + Quote(name) + " is not closed");
}

void RunParam(Io& io, const ElementOptions& o) {
    std::vector<char> text = Writable(ReadDocument(io, o.target.file));
    std::vector<char> name = Writable(o.name);
    std::vector<char> value(text.size());
    const int r =
        ZqXmlU_GetParam(text.data(), name.data(), value.data(), static_cast<int>(value.size()));
    if (r != 0) FailElement(r, o.name, "start");
    io.Write(std::string(value.data()) + "\n");
}

void RunCut(Io& io, const ElementOptions& o) {
    CheckTarget(o.target);
    std::vector<char> text = Writable(ReadDocument(io, o.target.file));
    std::vector<char> name = Writable(o.name);
    const int r = ZqXmlU_Excise(text.data(), name.data(), o.anyPrefix);
    if (r != 0) FailElement(r, o.name, "end");
    Deliver(io, o.target, text.data());
}

void RunInsert(Io& io, const ElementOptions& o) {
    if (o.hasAnchor == o.hasPos) throw UsageError("element insert: give either --anchor or --pos");
    if (o.hasAnchor && o.anchor.empty()) throw UsageError("element insert: --anchor is empty");
    const int pos =
        o.hasPos ? static_cast<int>(ParseNumber("element insert: --pos", o.pos, 1, INT32_MAX)) : 0;
    const int replace =
        static_cast<int>(ParseNumber("element insert: --replace", o.replace, 0, INT32_MAX));
    if (o.insertion.empty() && replace == 0) {
        throw UsageError("element insert: INSERTION is empty and --replace is 0: nothing to do");
    }
    CheckTarget(o.target);
    const std::string document = ReadDocument(io, o.target.file);
    if (static_cast<size_t>(pos) > document.size()) {
        throw Failure("--pos " + o.pos + " lies beyond the document's end (" +
                      std::to_string(document.size()) + " bytes)");
    }
    SharedText text(document);
    std::vector<char> insertion = Writable(o.insertion);
    std::vector<char> anchor = Writable(o.anchor);
    int unused = 0;
    const int r =
        ZqXmlU_InsertString(text.get(), unused, insertion.data(), anchor.data(), pos, replace);
    if (r == 0) throw Failure(pos ? "--pos lies beyond the document's end" : "anchor not found");
    if (r < 0) {
        throw Failure(pos ? "the document cannot grow by the insertion"
                          : "the tag that holds the anchor is not closed");
    }
    Deliver(io, o.target, text.get());
}

void RunStrings(Io& io, const std::string& file) {
    std::vector<unsigned char> bytes;
    {
        const std::string data = io.ReadAll(file, 64 * kMiB);
        bytes.assign(data.begin(), data.end());
    }
    char* document = nullptr;
    char* writePos = nullptr;
    unsigned capacity = 0;
    char* end = ZqXmlU_ExtractComment(bytes.data(), writePos, document, capacity,
                                      static_cast<unsigned>(bytes.size()));
    const SharedOwner owner(document);
    if (!document) throw std::bad_alloc();
    if (end == document) throw Failure("no readable string in the input");
    // The library ends the comment with a line feed and two tabs, to indent what follows it in a
    // document; the tool ends it with the line feed alone.
    std::string comment(document, writePos);
    if (comment.size() >= 2 && comment.compare(comment.size() - 2, 2, "\t\t") == 0) {
        comment.resize(comment.size() - 2);
    }
    io.Write(comment);
}

}  // namespace

bool ElementItems(char* text, const std::string& name, std::vector<std::string>& items) {
    std::vector<char> n = Writable(name);
    TaggedBlock<char> contents;
    if (ZqXmlU_GetElementContents(text, n.data(), &contents.p, nullptr, 1, 0, 0, kToolTag) != 1) {
        return false;
    }
    // The library collects items from the element on to the end of the text; the element's
    // content alone, in an element of its own, keeps them to that element.
    std::vector<char> element =
        Writable("<" + name + ">" + (contents.p ? contents.p : "") + "</" + name + ">");
    ZQ_KWLIST_STRUCT_T list{};
    const int r =
        ZqXmlU_GetElementContents(element.data(), n.data(), nullptr, &list, 2, 0, 0, kToolTag);
    items.clear();
    try {
        for (int i = 0; i < list.count; ++i)
            items.push_back(Unescape(reinterpret_cast<const char*>(list.keys[i])));
    } catch (...) {
        ZqXmlU_FreeKwAllocList(&list);
        throw;
    }
    ZqXmlU_FreeKwAllocList(&list);
    if (r != 1) throw Failure("an rdf:li item of " + Quote(name) + " has no end tag");
    return true;
}

void AddScanCommands(CLI::App& app, Io& io) {
    auto treeFile = std::make_shared<std::string>("-");
    CLI::App* tree = app.add_subcommand(
        "tree", "Show the element tree of a document: local names, two spaces a level");
    AddFile(tree, *treeFile, "Document (absent or -: standard input)");
    Rules(tree, kDocumentRules);
    tree->callback([treeFile, &io] { RunTree(io, *treeFile); });

    CLI::App* element = app.add_subcommand("element", "Read, cut or insert elements of a document");
    element->require_subcommand(1);
    auto addElementCommand = [element, &io](const char* name, const char* help,
                                            void (*run)(Io&, const ElementOptions&)) {
        auto o = std::make_shared<ElementOptions>();
        CLI::App* cmd = element->add_subcommand(name, help);
        Rules(cmd, kDocumentRules);
        cmd->callback([o, run, &io] { run(io, *o); });
        return std::make_pair(cmd, o);
    };

    auto [get, getOpts] = addElementCommand(
        "get", "Print the raw content (still escaped) of the first element NAME", &RunGet);
    get->add_option("NAME", getOpts->name, "Element name")->required();
    AddFile(get, getOpts->target.file, "Document (absent or -: standard input)");

    auto [items, itemsOpts] = addElementCommand(
        "items", "Print the rdf:li items inside the first element NAME, de-escaped, one a line",
        &RunItems);
    items->add_option("NAME", itemsOpts->name, "Element name")->required();
    AddFile(items, itemsOpts->target.file, "Document (absent or -: standard input)");
    Rules(items, std::string(kDocumentRules) +
                     "\nItems are de-escaped as unescape does; no item is exit status 1.");

    auto [param, paramOpts] =
        addElementCommand("param",
                          "Print the raw content (still escaped) of the first element NAME with a "
                          "start tag of its own (not self-closing)",
                          &RunParam);
    param->add_option("NAME", paramOpts->name, "Element name")->required();
    AddFile(param, paramOpts->target.file, "Document (absent or -: standard input)");

    auto [cut, cutOpts] = addElementCommand(
        "cut", "Cut the first element NAME and the white space after it out of the document",
        &RunCut);
    cut->add_option("NAME", cutOpts->name, "Element name")->required();
    cut->add_flag("--any-prefix", cutOpts->anyPrefix, "Also match NAME under any namespace prefix");
    AddTarget(cut, cutOpts->target);

    auto [insert, insertOpts] = addElementCommand(
        "insert", "Insert text right after the tag that holds the anchor (or at a position)",
        &RunInsert);
    insert->add_option("--anchor", insertOpts->anchor, "Text inside the tag to insert after");
    insert->add_option("--pos", insertOpts->pos,
                       "Insert at this byte index instead, 1 to the document's length");
    insert->add_option("--replace", insertOpts->replace,
                       "Bytes after the insertion point to replace (default 0)");
    insert->add_option("INSERTION", insertOpts->insertion, "XML text to insert, as given")
        ->required();
    AddTarget(insert, insertOpts->target);
    insert->callback([o = insertOpts, insert = insert, &io] {
        o->hasAnchor = insert->count("--anchor") > 0;
        o->hasPos = insert->count("--pos") > 0;
        RunInsert(io, *o);
    });

    auto stringsFile = std::make_shared<std::string>("-");
    CLI::App* strings = app.add_subcommand(
        "strings", "Print the XML comment that lists the readable strings of a binary file");
    AddFile(strings, *stringsFile, "Binary file (absent or -: standard input)");
    Rules(
        strings,
        "Input: any bytes, held whole (64 MiB at most). A string is 4 or more printable ASCII\n"
        "bytes ending in a NUL (or at the input's end), or 4 or more UTF-16LE units from 0x20 to\n"
        "0xC0 (shown as UNICODE[...]). The comment ends in a line feed; no string is exit status\n"
        "1.");
    strings->callback([stringsFile, &io] { RunStrings(io, *stringsFile); });
}

}  // namespace zqtool
