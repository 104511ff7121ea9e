// Crypto subcommands: SHA-1, Base64, zlib, password records, the PIN check and authenticators.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

constexpr size_t kMaxInput = 0xFFFFFFFF;  // the library counts bytes in 32 bits

std::string ToHex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Input(const std::string& file) {
    std::string in = ReadInput(file);
    if (in.size() > kMaxInput) throw Failure("input too large (4 GiB at most)");
    return in;
}

struct Sha1Options {
    bool skipSpace = false;
    std::string file;
};

void RunSha1(const Sha1Options& o) {
    const std::string in = Input(o.file);
    uint32_t state[5];
    if (o.skipSpace) {
        ZqXmlU_Sha1Interval(in.c_str(), 0, 0, state, 1);
    } else if (in.empty()) {
        ZqXmlU_start_sha1(state);
        ZqXmlU_finish_sha1(nullptr, 0, 0, state);
    } else {
        ZqXmlU_Sha1Interval(in.data(), 0, static_cast<uint32_t>(in.size() - 1), state, 0);
    }
    WriteOutput(ToHex(reinterpret_cast<const unsigned char*>(state), 20) + "\n");
}

struct Base64Options {
    bool decode = false;
    uint32_t groups = 0;
    uint32_t tabs = 0;
    std::string file;
};

void RunBase64(const Base64Options& o) {
    const std::string in = Input(o.file);
    if (o.decode) {
        if (in.size() + 4 > kMaxInput) throw Failure("input too large");
        std::vector<unsigned char> out(in.size() + 4);
        const uint32_t n =
            ZqXmlU_FromBase64(in.c_str(), out.data(), static_cast<uint32_t>(out.size()));
        if (n == 0 && std::strchr(in.c_str(), '=') == nullptr) {
            throw Failure("the Base64 text has no closing '='");
        }
        WriteOutput(std::string_view(reinterpret_cast<const char*>(out.data()), n));
        return;
    }
    const size_t groups = in.size() / 3 + 1;
    const size_t breaks = o.groups == 0 ? 0 : groups / o.groups;
    std::string out(4 * groups + 2 + breaks * (1 + static_cast<size_t>(o.tabs)), '\0');
    const int n =
        ZqXmlU_ToBase64(in.data(), static_cast<uint32_t>(in.size()), out.data(), o.groups, o.tabs);
    out.resize(static_cast<size_t>(n));
    WriteOutput(out + "\n");
}

struct ZlibOptions {
    bool decompress = false;
    uint32_t capacity = 0;
    std::string file;
};

void RunZlib(const ZlibOptions& o) {
    const std::string in = Input(o.file);
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const auto n = static_cast<uint32_t>(in.size());
    if (!o.decompress) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[in.size() + 1]);
        const uint32_t size = ZqXmlU_gzip(src, n, out.get());
        if (size == 0xFFFFFFFF) throw Failure("the compressor cannot be set up");
        if (size == 0) throw Failure("the data does not compress to fewer bytes than it has");
        WriteOutput(std::string_view(reinterpret_cast<const char*>(out.get()), size));
        return;
    }
    // Deflate expands at most about 1032 times; the default room allows that, up to 1 GiB.
    uint64_t capacity = o.capacity;
    if (capacity == 0) capacity = std::min<uint64_t>(1032ull * n + 64, 1ull << 30);
    std::unique_ptr<unsigned char[]> out(new unsigned char[capacity]);
    const uint32_t size = ZqXmlU_gunzip(src, n, out.get(), static_cast<uint32_t>(capacity));
    if (size == 0) throw Failure("not a zlib stream, or an empty one");
    if (size == capacity) {
        std::fprintf(stderr, "zqxmlu: output cut at %u bytes (raise --capacity)\n", size);
    }
    WriteOutput(std::string_view(reinterpret_cast<const char*>(out.get()), size));
}

struct PasswordOptions {
    std::string key1, key2, record;
};

void RunEncrypt(const PasswordOptions& o) {
    std::string password = Input("");
    if (!password.empty() && password.back() == '\n') password.pop_back();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.find('\0') != std::string::npos) throw Failure("the password holds a NUL byte");
    TaggedBlock<char> record;
    ZqXmlU_EncryptPassword(o.key1.c_str(), o.key2.c_str(), password.c_str(), &record.p);
    if (!record.p) {
        throw Failure(password.size() > 255
                          ? "a password has at most 255 bytes"
                          : "the key texts joined with ';' must be shorter than 128 bytes");
    }
    WriteOutput(std::string(record.p) + "\n");
}

void RunDecrypt(const PasswordOptions& o) {
    char unchanged = 0;
    TaggedBlock<char> password;
    password.p = &unchanged;
    ZqXmlU_DecryptPassword(o.key1.c_str(), o.key2.c_str(), &password.p, o.record.c_str());
    if (password.p == &unchanged) {
        password.p = nullptr;
        throw Failure(
            "not decrypted: the second key text is empty, the key texts are too long, or the "
            "record is not 32 to 255 characters long");
    }
    if (!password.p) throw Failure("the record does not decrypt with these key texts");
    WriteOutput(std::string(password.p) + "\n");
}

struct PinOptions {
    std::string first, second, code;
};

void RunPin(const PinOptions& o) {
    if (ZqXmlU_CheckPasswordPIN(o.first.c_str(), o.second.c_str(), o.code.c_str()) != 1) {
        throw Failure("the code does not match");
    }
    WriteOutput("match\n");
}

struct AuthOptions {
    std::string plain, auth, file, hex;
    bool havePlain = false, haveAuth = false, printHex = false;
};

void RunInsert(const AuthOptions& o) {
    const std::string in = Input(o.file);
    if (in.size() >= 0x7FFFFFFF) throw Failure("input too large");
    ZQ_XML_STRUCT_T sink{};
    sink.tag = "tool";
    ZqXmlU_xml_sprintf(&sink, "%.*s", static_cast<int>(in.size()), in.c_str());
    const int added = ZqXmlU_InsertAuthenticators(o.havePlain ? o.plain.c_str() : nullptr,
                                                  o.haveAuth ? o.auth.c_str() : nullptr, &sink, 0);
    const std::string out =
        sink.buffer ? std::string(sink.buffer, static_cast<size_t>(sink.length)) : std::string();
    ZqXmlU_xml_free(sink.buffer);
    if (added < 0) throw Failure("no complete first start tag in the document");
    WriteOutput(out);
}

void RunRecover(const AuthOptions& o) {
    std::vector<unsigned char> data;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (o.hex.size() % 2 != 0) throw UsageError("HEX needs an even number of digits");
    for (size_t i = 0; i < o.hex.size(); i += 2) {
        const int hi = nibble(o.hex[i]), lo = nibble(o.hex[i + 1]);
        if (hi < 0 || lo < 0) throw UsageError("HEX holds a character that is not a hex digit");
        data.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
    if (data.size() > 128) throw UsageError("an authenticator has at most 128 bytes");
    unsigned char out[128] = {};
    if (ZqXmlU_DeencryptAuthenticator(data.data(), static_cast<int>(data.size()), out) != 1) {
        throw Failure("not an authenticator of the built-in key");
    }
    if (o.printHex) {
        WriteOutput(ToHex(out, sizeof out) + "\n");
    } else {
        WriteOutput(std::string(reinterpret_cast<const char*>(out),
                                strnlen(reinterpret_cast<const char*>(out), sizeof out)) +
                    "\n");
    }
}

}  // namespace

void AddCryptoCommands(CLI::App& app) {
    auto sha1 = std::make_shared<Sha1Options>();
    CLI::App* sha1Cmd = app.add_subcommand("sha1", "SHA-1 digest in hex");
    sha1Cmd->add_flag("--skip-space", sha1->skipSpace,
                      "Leave out spaces, tabs, carriage returns and line feeds; stop at a NUL");
    sha1Cmd->add_option("FILE", sha1->file, "Input file (default: standard input)");
    sha1Cmd->callback([sha1] { RunSha1(*sha1); });

    auto b64 = std::make_shared<Base64Options>();
    CLI::App* b64Cmd =
        app.add_subcommand("base64", "Base64 with the library's single closing '=', or back");
    b64Cmd->add_flag("-d,--decode", b64->decode,
                     "Decode (characters outside the alphabet skipped)");
    b64Cmd->add_option("--groups", b64->groups, "Groups of four characters per line (0: one line)");
    b64Cmd->add_option("--tabs", b64->tabs, "Tabs after each line feed");
    b64Cmd->add_option("FILE", b64->file, "Input file (default: standard input)");
    b64Cmd->callback([b64] { RunBase64(*b64); });

    auto zlib = std::make_shared<ZlibOptions>();
    CLI::App* zlibCmd =
        app.add_subcommand("zlib", "Compress into a zlib stream (RFC 1950), or back");
    zlibCmd->add_flag("-d,--decompress", zlib->decompress, "Decompress");
    zlibCmd->add_option("--capacity", zlib->capacity,
                        "Room for the decompressed bytes (default: enough for any ratio, 1 GiB "
                        "at most)");
    zlibCmd->add_option("FILE", zlib->file, "Input file (default: standard input)");
    zlibCmd->callback([zlib] { RunZlib(*zlib); });

    auto pw = std::make_shared<PasswordOptions>();
    CLI::App* pwCmd = app.add_subcommand("password", "Password records bound to two key texts");
    pwCmd->require_subcommand(1);
    CLI::App* encrypt = pwCmd->add_subcommand(
        "encrypt", "Print the record of the password on standard input (one line end dropped)");
    encrypt->add_option("KEY1", pw->key1, "First key text")->required();
    encrypt->add_option("KEY2", pw->key2, "Second key text")->required();
    encrypt->callback([pw] { RunEncrypt(*pw); });
    CLI::App* decrypt = pwCmd->add_subcommand("decrypt", "Print the password of a record");
    decrypt->add_option("KEY1", pw->key1, "First key text")->required();
    decrypt->add_option("KEY2", pw->key2, "Second key text")->required();
    decrypt->add_option("RECORD", pw->record, "Password record")->required();
    decrypt->callback([pw] { RunDecrypt(*pw); });

    auto pin = std::make_shared<PinOptions>();
    CLI::App* pinCmd = app.add_subcommand(
        "pin", "Check an 8-digit hex code derived from two texts (exit 0 on a match, else 1)");
    pinCmd->add_option("TEXT1", pin->first, "First text")->required();
    pinCmd->add_option("TEXT2", pin->second, "Second text")->required();
    pinCmd->add_option("CODE", pin->code, "Expected code")->required();
    pinCmd->callback([pin] { RunPin(*pin); });

    auto auth = std::make_shared<AuthOptions>();
    CLI::App* authCmd = app.add_subcommand("auth", "Authenticators");
    authCmd->require_subcommand(1);
    CLI::App* insert = authCmd->add_subcommand(
        "insert", "Put the authenticator attributes into the document's first start tag");
    insert->add_option("--plain", auth->plain, "Plain authenticator");
    insert->add_option("--auth", auth->auth, "Authenticator");
    insert->add_option("FILE", auth->file, "Document (default: standard input)");
    insert->callback([auth, insert] {
        auth->havePlain = insert->count("--plain") > 0;
        auth->haveAuth = insert->count("--auth") > 0;
        RunInsert(*auth);
    });
    CLI::App* recover = authCmd->add_subcommand(
        "recover", "Recover an authenticator's content with the built-in public key");
    recover->add_option("HEX", auth->hex, "The authenticator, up to 128 bytes in hex")->required();
    recover->add_flag("--hex", auth->printHex, "Print all 128 output bytes in hex");
    recover->callback([auth] { RunRecover(*auth); });
}

}  // namespace zqtool
