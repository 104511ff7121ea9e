// URI subcommands: build, decode and compare vocabulary URIs, name the user of a URI, and build a
// combined namespace prefix.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

struct MakeOptions {
    std::string user, name, variant;
    int major = 0;
    int minor = 0;
};

void RunMake(const MakeOptions& o) {
    if (o.variant.size() > 1) throw UsageError("--variant takes one character");
    auto user = Writable(o.user);
    // The bound that ZqXmlU_MakeUri asks of its destination, and one byte more.
    std::vector<char> uri(o.user.size() + zq::kNamespaceBaseLength + o.name.size() + 37);
    const char variant = o.variant.empty() ? '\0' : o.variant[0];
    if (ZqXmlU_MakeUri(user.data(), o.name.c_str(), o.major, o.minor, uri.data(),
                       static_cast<int>(uri.size()), variant) != 0) {
        throw Failure("major and minor are too long for a vocabulary URI");
    }
    WriteOutput(std::string(uri.data()) + "\n");
}

void RunInfo(const std::string& text) {
    auto uri = Writable(text);
    int underscore = -1;
    int minor = 0;
    ZqLong major = 0;
    char name[zq::kSegmentBuffer];
    char user[zq::kSegmentBuffer];
    int variant = 0;
    if (ZqXmlU_GetURIInfo(uri.data(), underscore, minor, &major, name, user, &variant) == 0) {
        throw Failure("not a vocabulary URI: " + text);
    }
    WriteOutput("user: " + std::string(user) + "\nname: " + name +
                "\nmajor: " + std::to_string(major) + "\nminor: " + std::to_string(minor) +
                "\nvariant: " + std::to_string(variant) +
                "\nunderscore: " + std::to_string(underscore) + "\n");
}

void RunCompatible(const std::string& older, const std::string& newer) {
    auto a = Writable(older);
    auto b = Writable(newer);
    WriteOutput(ZqXmlU_CompatibleURI(a.data(), b.data()) ? "1\n" : "0\n");
}

void RunUser(const std::string& text) {
    auto uri = Writable(text);
    char user[zq::kSegmentBuffer];
    ZqXmlU_GetUserName(uri.data(), user);
    WriteOutput(std::string(user) + "\n");
}

void RunPrefix(const std::string& first, const std::string& second, int number) {
    auto a = Writable(first);
    auto b = Writable(second);
    char prefix[69];  // two names of 28 characters, '_' and 11 digits at most, and the NUL
    ZqXmlU_MakeCombinedPrefix(a.data(), b.data(), prefix, sizeof prefix, number);
    WriteOutput(std::string(prefix) + "\n");
}

}  // namespace

void AddUriCommands(CLI::App& app) {
    CLI::App* uri = app.add_subcommand("uri", "Vocabulary URIs and user names");
    uri->require_subcommand(1);

    auto make = std::make_shared<MakeOptions>();
    CLI::App* cmd = uri->add_subcommand("make", "Build the URI of a user's vocabulary");
    cmd->add_option("USER", make->user, "User name")->required();
    cmd->add_option("NAME", make->name, "Vocabulary name")->required();
    cmd->add_option("MAJOR", make->major, "Major version")->required();
    cmd->add_option("MINOR", make->minor, "Minor version")->required();
    cmd->add_option("--variant", make->variant, "Variant character after the extension");
    cmd->callback([make] { RunMake(*make); });

    auto text = std::make_shared<std::string>();
    cmd = uri->add_subcommand("info", "Decode a URI: user, name, major, minor, variant, '_' index");
    cmd->add_option("URI", *text, "Vocabulary URI")->required();
    cmd->callback([text] { RunInfo(*text); });

    auto pair = std::make_shared<std::pair<std::string, std::string>>();
    cmd = uri->add_subcommand("compatible", "1 when NEWER is a later compatible revision of OLDER");
    cmd->add_option("OLDER", pair->first, "Earlier URI")->required();
    cmd->add_option("NEWER", pair->second, "Later URI")->required();
    cmd->callback([pair] { RunCompatible(pair->first, pair->second); });

    auto userUri = std::make_shared<std::string>();
    cmd = uri->add_subcommand("user", "User name of a URI (zq outside the scheme)");
    cmd->add_option("URI", *userUri, "Vocabulary URI")->required();
    cmd->callback([userUri] { RunUser(*userUri); });

    struct PrefixOptions {
        std::string first, second;
        int number = 0;
    };
    auto prefix = std::make_shared<PrefixOptions>();
    cmd = uri->add_subcommand("prefix", "Combined namespace prefix of two names and a number");
    cmd->add_option("FIRST", prefix->first, "First name")->required();
    cmd->add_option("SECOND", prefix->second, "Second name")->required();
    cmd->add_option("NUMBER", prefix->number, "Number (0: none)")->required();
    cmd->callback([prefix] { RunPrefix(prefix->first, prefix->second, prefix->number); });
}

}  // namespace zqtool
