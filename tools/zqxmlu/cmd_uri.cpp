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
    std::string user, name, major, minor, variant;
};

// A user or vocabulary name that the decoder gives back whole: no '/', 1 to `most` characters.
void CheckSegment(const char* what, const std::string& text, size_t most) {
    if (text.empty() || text.size() > most || text.find('/') != std::string::npos) {
        throw UsageError(std::string("uri make: ") + what + " must have 1 to " +
                         std::to_string(most) + " characters and no '/', not " + Quote(text));
    }
}

void RunMake(Io& io, const MakeOptions& o) {
    CheckSegment("USER", o.user, 63);
    CheckSegment("NAME", o.name, 62);
    // A decodable URI has two digits of major and three of minor.
    const int major = static_cast<int>(ParseNumber("uri make: MAJOR", o.major, 0, 99));
    const int minor = static_cast<int>(ParseNumber("uri make: MINOR", o.minor, 0, 999));
    if (!o.variant.empty() && o.variant != "m" && o.variant != "q") {
        throw UsageError("uri make: --variant must be m or q, not " + Quote(o.variant));
    }
    std::vector<char> user = Writable(o.user);
    std::vector<char> uri(o.user.size() + o.name.size() + 61);  // larger than user + name + 60
    const char variant = o.variant.empty() ? '\0' : o.variant[0];
    if (ZqXmlU_MakeUri(user.data(), o.name.c_str(), major, minor, uri.data(),
                       static_cast<int>(uri.size()), variant) != 0) {
        throw Failure("the URI cannot be made");
    }
    io.Write(std::string(uri.data()) + "\n");
}

void RunInfo(Io& io, const std::string& text) {
    std::vector<char> uri = Writable(text);
    int underscore = -1;
    int minor = 0;
    ZqLong major = 0;
    char name[zq::kSegmentBuffer];
    char user[zq::kSegmentBuffer];
    int variant = 0;
    if (ZqXmlU_GetURIInfo(uri.data(), underscore, minor, &major, name, user, &variant) == 0) {
        throw Failure("not a vocabulary URI: " + Quote(text));
    }
    // The decoder gives an empty name or user for a segment too long for its buffers.
    const size_t k = static_cast<size_t>(underscore);
    const size_t s1 = text.rfind('/', k - 1);
    const size_t s2 = s1 == 0 || s1 == std::string::npos ? s1 : text.rfind('/', s1 - 1);
    if ((!name[0] && s1 != std::string::npos && k > s1 + 4) ||
        (!user[0] && s2 != std::string::npos && s1 > s2 + 1)) {
        throw Failure(
            "the URI's user or name is too long to decode (users up to 63, names up to "
            "62 characters): " +
            Quote(text));
    }
    const char* variants[] = {"none", "m", "q"};
    io.Write("user: " + std::string(user) + "\nname: " + name +
             "\nmajor: " + std::to_string(major) + "\nminor: " + std::to_string(minor) +
             "\nvariant: " + variants[variant >= 0 && variant <= 2 ? variant : 0] +
             "\nunderscore: " + std::to_string(underscore) + "\n");
}

void RunCompatible(Io& io, const std::string& older, const std::string& newer) {
    std::vector<char> a = Writable(older);
    std::vector<char> b = Writable(newer);
    if (older != newer) {
        for (auto* uri : {&a, &b}) {
            int underscore = 0;
            int minor = 0;
            if (ZqXmlU_GetURIInfo(uri->data(), underscore, minor, nullptr, nullptr, nullptr,
                                  nullptr) == 0) {
                throw Failure("not a vocabulary URI: " + Quote(uri == &a ? older : newer));
            }
        }
    }
    io.Write(ZqXmlU_CompatibleURI(a.data(), b.data()) ? "1\n" : "0\n");
}

void RunUser(Io& io, const std::string& text) {
    std::vector<char> uri = Writable(text);
    char user[zq::kSegmentBuffer];
    ZqXmlU_GetUserName(uri.data(), user);
    if (!user[0]) throw Failure("the URI's user segment has 65 or more characters: " + Quote(text));
    io.Write(std::string(user) + "\n");
}

struct PrefixOptions {
    std::string first, second, number;
};

void RunPrefix(Io& io, const PrefixOptions& o) {
    const int number = static_cast<int>(ParseNumber("uri prefix: NUMBER", o.number, 0, INT32_MAX));
    std::vector<char> a = Writable(o.first);
    std::vector<char> b = Writable(o.second);
    char prefix[69];  // two names of 28 characters, '_' and 11 digits at most, and the NUL
    ZqXmlU_MakeCombinedPrefix(a.data(), b.data(), prefix, sizeof prefix, number);
    io.Write(std::string(prefix) + "\n");
}

}  // namespace

void AddUriCommands(CLI::App& app, Io& io) {
    CLI::App* uri = app.add_subcommand("uri", "Vocabulary URIs and user names");
    uri->require_subcommand(1);

    auto make = std::make_shared<MakeOptions>();
    CLI::App* cmd = uri->add_subcommand("make", "Build the URI of a user's vocabulary");
    cmd->add_option("USER", make->user, "User name, 1 to 63 characters, no '/'")->required();
    cmd->add_option("NAME", make->name, "Vocabulary name, 1 to 62 characters, no '/'")->required();
    cmd->add_option("MAJOR", make->major, "Major version, 0 to 99")->required();
    cmd->add_option("MINOR", make->minor, "Minor version, 0 to 999")->required();
    cmd->add_option("--variant", make->variant, "Variant letter after the extension: m or q");
    cmd->callback([make, &io] { RunMake(io, *make); });

    auto text = std::make_shared<std::string>();
    cmd = uri->add_subcommand("info", "Decode a URI: user, name, major, minor, variant, '_' index");
    cmd->add_option("URI", *text, "Vocabulary URI")->required();
    cmd->callback([text, &io] { RunInfo(io, *text); });

    auto pair = std::make_shared<std::pair<std::string, std::string>>();
    cmd = uri->add_subcommand(
        "compatible", "Print 1 when NEWER is OLDER or a later compatible revision of it, else 0");
    cmd->add_option("OLDER", pair->first, "Earlier URI")->required();
    cmd->add_option("NEWER", pair->second, "Later URI")->required();
    cmd->callback([pair, &io] { RunCompatible(io, pair->first, pair->second); });

    auto userUri = std::make_shared<std::string>();
    cmd = uri->add_subcommand("user", "User name of a URI (zq outside the scheme)");
    cmd->add_option("URI", *userUri, "Any URI")->required();
    cmd->callback([userUri, &io] { RunUser(io, *userUri); });

    auto prefix = std::make_shared<PrefixOptions>();
    cmd = uri->add_subcommand(
        "prefix",
        "Combined namespace prefix of two names and a number (names cut to 28 characters when "
        "the prefix would pass 64)");
    cmd->add_option("FIRST", prefix->first, "First name")->required();
    cmd->add_option("SECOND", prefix->second, "Second name")->required();
    cmd->add_option("NUMBER", prefix->number, "Number, 0 (none) to 2147483647")->required();
    cmd->callback([prefix, &io] { RunPrefix(io, *prefix); });
}

}  // namespace zqtool
