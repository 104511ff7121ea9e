// Crypto subcommands: SHA-1, Base64, zlib, password records, the PIN check and authenticators.
#include <zlib.h>

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

// --- SHA-1 ---------------------------------------------------------------------------------------

// The library's SHA-1 counts the message length in 32 bits.
constexpr uint64_t kSha1Limit = 512 * kMiB;

struct Sha1Options {
    bool skipSpace = false;
    std::string file = "-";
};

void RunSha1(Io& io, const Sha1Options& o) {
    uint32_t state[5];
    if (o.skipSpace) {
        const std::string text = io.ReadAll(o.file);
        RefuseNul(text, "the input of --skip-space");
        ZqXmlU_Sha1Interval(text.c_str(), 0, 0, state, 1);
    } else {
        Source in = io.Open(o.file);
        ZqXmlU_start_sha1(state);
        std::string buf;
        uint64_t total = 0;
        uint32_t bits = 0;
        while (in.ReadInto(buf, kChunk) != 0) {
            // Whole blocks are compressed; the last 1 to 64 bytes wait for the finish.
            const size_t blocks = (buf.size() - 1) / 64;
            for (size_t b = 0; b < blocks; ++b) {
                ZqXmlU_compute_sha1(reinterpret_cast<const unsigned char*>(buf.data()) + 64 * b,
                                    state);
                bits += 512;
            }
            total += 64 * blocks;
            buf.erase(0, 64 * blocks);
            if (total + buf.size() >= kSha1Limit) {
                throw Failure(in.name() +
                              " reaches 512 MiB: the library's SHA-1 counts the length in 32 bits");
            }
        }
        ZqXmlU_finish_sha1(reinterpret_cast<const unsigned char*>(buf.data()),
                           static_cast<int>(buf.size()), bits, state);
    }
    io.Write(ToHex(reinterpret_cast<const unsigned char*>(state), 20) + "\n");
}

// --- Base64 --------------------------------------------------------------------------------------

struct Base64Options {
    bool decode = false;
    std::string groups = "0";
    std::string tabs = "0";
    std::string file = "-";
};

bool IsBase64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

bool IsLineSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void RunDecode(Io& io, const std::string& file) {
    const std::string text = io.ReadAll(file);
    // The decoder skips what is not in the alphabet and stops at the first '='; the tool refuses
    // what it would skip or leave unread, white space excepted.
    const size_t end = text.find('=');
    if (end == std::string::npos) throw Failure("the Base64 text has no closing '='");
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i < end && IsBase64(c)) {
            ++characters;
        } else if (!IsLineSpace(c) && (i < end || c != '=')) {
            throw Failure("byte " + Quote(std::string(1, c)) + " at offset " + std::to_string(i) +
                          (i < end ? " is not Base64" : " follows the closing '='"));
        }
    }
    if (characters % 4 == 1) throw Failure("the Base64 text ends in a lone character");
    std::vector<unsigned char> out(characters / 4 * 3 + 4);
    const uint32_t n =
        ZqXmlU_FromBase64(text.c_str(), out.data(), static_cast<uint32_t>(out.size()));
    io.Write(std::string_view(reinterpret_cast<const char*>(out.data()), n));
}

void RunEncode(Io& io, const Base64Options& o) {
    const auto groups =
        static_cast<uint32_t>(ParseNumber("base64: --groups", o.groups, 0, 1000000));
    const auto tabs = static_cast<uint32_t>(ParseNumber("base64: --tabs", o.tabs, 0, 32));
    if (tabs != 0 && groups == 0) throw UsageError("base64: --tabs needs --groups");
    Source in = io.Open(o.file);
    // Pieces of whole lines: each but the last ends in a full line, whose line break the library
    // leaves out at the end of its input; the tool writes it and drops the closing '=' there.
    const size_t lineBytes = 3 * static_cast<size_t>(groups == 0 ? 16384 : groups);
    const size_t piece = lineBytes * std::max<size_t>(1, 49152 / lineBytes);
    const std::string lineBreak = "\n" + std::string(tabs, '\t');
    std::string buf;
    std::string out;
    for (bool end = false; !end;) {
        while (!end && buf.size() <= piece)
            end = in.ReadInto(buf, piece + 1 - buf.size()) == 0;
        const size_t n = end ? buf.size() : piece;
        const size_t breaks = groups == 0 ? 0 : n / 3 / groups;
        out.assign(4 * (n / 3 + 1) + 2 + breaks * (1 + static_cast<size_t>(tabs)), '\0');
        const int written =
            ZqXmlU_ToBase64(buf.data(), static_cast<uint32_t>(n), out.data(), groups, tabs);
        out.resize(static_cast<size_t>(written));
        if (!end) {
            out.pop_back();  // the '='
            if (groups != 0) out += lineBreak;
        } else {
            out += '\n';
        }
        io.Write(out);
        buf.erase(0, n);
    }
}

// --- zlib ----------------------------------------------------------------------------------------

constexpr uint64_t kInflateLimit = 1024 * kMiB;

struct ZlibOptions {
    bool decompress = false;
    bool hasCapacity = false;
    std::string capacity;
    std::string file = "-";
};

// Whether `data` is the whole content of `stream`: its Adler-32 is the stream's last four bytes.
bool Complete(std::string_view stream, const unsigned char* data, size_t n) {
    if (stream.size() < 4) return false;
    uLong sum = adler32(0L, Z_NULL, 0);
    for (size_t done = 0; done < n;) {
        const auto step = static_cast<uInt>(std::min<size_t>(n - done, 1u << 30));
        sum = adler32(sum, data + done, step);
        done += step;
    }
    uLong expected = 0;
    for (size_t i = stream.size() - 4; i < stream.size(); ++i) {
        expected = expected << 8 | static_cast<unsigned char>(stream[i]);
    }
    return sum == expected;
}

void RunZlib(Io& io, const ZlibOptions& o) {
    const bool explicitCapacity = o.hasCapacity;
    const uint64_t capacity =
        explicitCapacity
            ? static_cast<uint64_t>(ParseNumber("zlib: --capacity", o.capacity, 1, kInflateLimit))
            : kInflateLimit;
    if (explicitCapacity && !o.decompress) throw UsageError("zlib: --capacity needs -d");
    const std::string in = io.ReadAll(o.file);
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const auto n = static_cast<uint32_t>(in.size());
    if (!o.decompress) {
        std::vector<unsigned char> out(in.size() + 1);
        const uint32_t size = ZqXmlU_gzip(src, n, out.data());
        if (size == 0xFFFFFFFF) throw Failure("the compressor cannot be set up");
        if (size == 0) {
            throw Failure(
                "the data does not shrink: the library keeps a zlib stream only when it "
                "is smaller than its input (" +
                std::to_string(in.size()) + " bytes)");
        }
        io.Write(std::string_view(reinterpret_cast<const char*>(out.data()), size));
        return;
    }
    // The library inflates in one call into the room it is given: without --capacity the room
    // grows until the whole stream fits, up to 1 GiB.
    uint64_t room =
        explicitCapacity ? capacity : std::min<uint64_t>(capacity, 4 * uint64_t{n} + 65536);
    std::vector<unsigned char> out;
    for (;;) {
        out.resize(static_cast<size_t>(room));
        const uint32_t size = ZqXmlU_gunzip(src, n, out.data(), static_cast<uint32_t>(room));
        if (size == 0) throw Failure("not a zlib stream, a damaged one, or one of no bytes");
        if (Complete(in, out.data(), size)) {
            io.Write(std::string_view(reinterpret_cast<const char*>(out.data()), size));
            return;
        }
        if (size < room) {
            throw Failure(
                "the zlib stream is cut short or damaged: its check value does not "
                "match");
        }
        if (room == capacity) {
            throw Failure("the data is larger than " +
                          (explicitCapacity ? "--capacity " + o.capacity + " bytes"
                                            : std::string("1 GiB, the most zlib -d writes")));
        }
        room = std::min(capacity, room * 4);
    }
}

// --- Passwords -----------------------------------------------------------------------------------

struct PasswordOptions {
    std::string key1, key2, record;
};

// Key texts that both directions accept: a non-empty second key, "KEY1;KEY2" below 128 bytes.
void CheckKeys(const char* where, const PasswordOptions& o) {
    if (o.key2.empty()) {
        throw UsageError(std::string(where) +
                         ": KEY2 is empty: a record cannot be decrypted with an empty second key");
    }
    if (o.key1.size() + 1 + o.key2.size() >= 128) {
        throw UsageError(std::string(where) + ": KEY1;KEY2 must be shorter than 128 bytes");
    }
}

std::string Encrypt(const PasswordOptions& o, const std::string& password) {
    TaggedBlock<char> record;
    ZqXmlU_EncryptPassword(o.key1.c_str(), o.key2.c_str(), password.c_str(), &record.p);
    if (!record.p) throw Failure("the password cannot be encrypted");
    return record.p;
}

void RunEncrypt(Io& io, const PasswordOptions& o) {
    CheckKeys("password encrypt", o);
    std::string password = io.ReadAll("-", 4096);
    if (!password.empty() && password.back() == '\n') password.pop_back();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    RefuseNul(password, "the password");
    if (password.size() > 127) {
        throw Failure(
            "a password has at most 127 bytes: the record of a longer one is over 255 "
            "characters, and such a record cannot be decrypted");
    }
    io.Write(Encrypt(o, password) + "\n");
}

void RunDecrypt(Io& io, const PasswordOptions& o) {
    CheckKeys("password decrypt", o);
    if (o.record.size() < 32 || o.record.size() > 255) {
        throw Failure("a password record has 32 to 255 characters, not " +
                      std::to_string(o.record.size()));
    }
    char unchanged = 0;
    TaggedBlock<char> password;
    password.p = &unchanged;
    ZqXmlU_DecryptPassword(o.key1.c_str(), o.key2.c_str(), &password.p, o.record.c_str());
    if (password.p == &unchanged) {
        password.p = nullptr;
        throw Failure("the record cannot be decrypted");
    }
    // A wrong key gives some text rather than an error: the record of the text tells.
    if (!password.p || Encrypt(o, password.p) != o.record) {
        throw Failure("the record does not decrypt with these key texts");
    }
    io.Write(std::string(password.p) + "\n");
}

struct PinOptions {
    std::string first, second, code;
};

void RunPin(Io& io, const PinOptions& o) {
    if (o.first.size() >= 65 || o.second.size() >= 65) {
        throw UsageError("pin: TEXT1 and TEXT2 must be shorter than 65 bytes");
    }
    if (o.code.size() != 8 || o.code.find_first_not_of("0123456789abcdef") != std::string::npos) {
        throw UsageError("pin: CODE must be 8 lower-case hex digits, not " + Quote(o.code));
    }
    if (ZqXmlU_CheckPasswordPIN(o.first.c_str(), o.second.c_str(), o.code.c_str()) != 1) {
        throw Failure("the code does not match");
    }
    io.Write("match\n");
}

// --- Authenticators ------------------------------------------------------------------------------

struct AuthOptions {
    std::string plain, auth, file = "-", hex;
    bool havePlain = false, haveAuth = false, printHex = false;
};

// An attribute value, escaped for the single quotes it goes in.
std::string AttributeValue(const char* what, const std::string& value) {
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            throw UsageError(std::string("auth insert: ") + what +
                             " holds a control byte: " + Quote(value));
        }
    }
    std::vector<char> text = Writable(value);
    TaggedBlock<char> escaped;
    ZqXmlU_EscapeXMLStringA(&escaped.p, text.data(), 0, 0, kToolTag);
    return escaped.p ? escaped.p : "";
}

void RunInsert(Io& io, const AuthOptions& o) {
    if (!o.havePlain && !o.haveAuth) throw UsageError("auth insert: give --plain, --auth or both");
    const std::string plain = AttributeValue("--plain", o.plain);
    const std::string auth = AttributeValue("--auth", o.auth);
    const std::string in = io.ReadAll(o.file);
    RefuseNul(in, "the document");
    ZQ_XML_STRUCT_T sink{};
    sink.tag = kToolTag;
    if (ZqXmlU_xml_sprintf(&sink, "%s", in.c_str()) < 0) throw std::bad_alloc();
    const SharedOwner owner(sink.buffer);
    const int added = ZqXmlU_InsertAuthenticators(o.havePlain ? plain.c_str() : nullptr,
                                                  o.haveAuth ? auth.c_str() : nullptr, &sink, 0);
    if (added < 0) throw Failure("no complete first start tag in the document");
    const std::string_view out(sink.buffer, static_cast<size_t>(sink.length));
    // The attributes went in before the '>' that ends the first start tag.
    const size_t at = static_cast<size_t>(
        std::mismatch(in.begin(), in.end(), out.begin(), out.end()).first - in.begin());
    const size_t tag = in.rfind('<', at);
    const std::string_view head = std::string_view(in).substr(tag, at - tag);
    if (!head.empty() && head.back() == '/') {
        throw Failure(
            "the first element is an empty-element tag (\"/>\"): the attributes would "
            "follow its '/'; write it with an end tag");
    }
    if ((o.havePlain && head.find(" zqncs:plain_authenticator=") != std::string_view::npos) ||
        (o.haveAuth && head.find(" zqncs:authenticator=") != std::string_view::npos)) {
        throw Failure("the first start tag already carries the authenticator");
    }
    io.Write(out);
}

void RunRecover(Io& io, const AuthOptions& o) {
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (o.hex.empty()) throw UsageError("auth recover: HEX is empty");
    for (size_t i = 0; i < o.hex.size(); ++i) {
        if (nibble(o.hex[i]) < 0) {
            throw UsageError("auth recover: HEX holds " + Quote(o.hex.substr(i, 1)) +
                             " at offset " + std::to_string(i) + ", not a hex digit");
        }
    }
    if (o.hex.size() % 2 != 0) throw UsageError("auth recover: HEX has an odd number of digits");
    if (o.hex.size() > 256)
        throw UsageError("auth recover: an authenticator has at most 128 bytes");
    std::vector<unsigned char> data;
    for (size_t i = 0; i < o.hex.size(); i += 2) {
        data.push_back(static_cast<unsigned char>(nibble(o.hex[i]) << 4 | nibble(o.hex[i + 1])));
    }
    unsigned char out[128] = {};
    if (ZqXmlU_DeencryptAuthenticator(data.data(), static_cast<int>(data.size()), out) != 1) {
        throw Failure("not an authenticator of the built-in key");
    }
    if (o.printHex) {
        io.Write(ToHex(out, sizeof out) + "\n");
    } else {
        io.Write(std::string(reinterpret_cast<const char*>(out),
                             strnlen(reinterpret_cast<const char*>(out), sizeof out)) +
                 "\n");
    }
}

}  // namespace

void AddCryptoCommands(CLI::App& app, Io& io) {
    auto sha1 = std::make_shared<Sha1Options>();
    CLI::App* sha1Cmd = app.add_subcommand("sha1", "SHA-1 digest in hex");
    sha1Cmd->add_flag("--skip-space", sha1->skipSpace,
                      "Leave out spaces, tabs, carriage returns and line feeds");
    AddFile(sha1Cmd, sha1->file);
    Rules(sha1Cmd,
          "Input: any bytes, streamed, below 512 MiB (the library counts the length in 32 bits).\n"
          "--skip-space: the input is held (256 MiB at most) and a NUL byte is refused.");
    sha1Cmd->callback([sha1, &io] { RunSha1(io, *sha1); });

    auto b64 = std::make_shared<Base64Options>();
    CLI::App* b64Cmd =
        app.add_subcommand("base64", "Base64 with the library's single closing '=', or back");
    b64Cmd->add_flag("-d,--decode", b64->decode, "Decode");
    b64Cmd->add_option("--groups", b64->groups,
                       "Groups of four characters a line, 0 (one line) to 1000000");
    b64Cmd->add_option("--tabs", b64->tabs, "Tabs after each line feed, 0 to 32");
    AddFile(b64Cmd, b64->file);
    Rules(b64Cmd,
          "Encoding: any bytes, any size, streamed; the text ends in one '=' and a line feed.\n"
          "Decoding: held (256 MiB at most); the alphabet and white space up to the first '=',\n"
          "then only '=' and white space; anything else is refused.");
    b64Cmd->callback([b64, &io] {
        if (b64->decode) {
            if (b64->groups != "0" || b64->tabs != "0") {
                throw UsageError("base64: --groups and --tabs are for encoding");
            }
            RunDecode(io, b64->file);
        } else {
            RunEncode(io, *b64);
        }
    });

    auto zlib = std::make_shared<ZlibOptions>();
    CLI::App* zlibCmd =
        app.add_subcommand("zlib", "Compress into a zlib stream (RFC 1950), or back");
    zlibCmd->add_flag("-d,--decompress", zlib->decompress, "Decompress");
    zlibCmd->add_option("--capacity", zlib->capacity,
                        "Most bytes the decompressed data may have, 1 to 1073741824 (default: "
                        "1 GiB)");
    AddFile(zlibCmd, zlib->file);
    Rules(zlibCmd,
          "Input: any bytes, held whole (256 MiB at most). Compressing: the library keeps a\n"
          "stream only when it is smaller than the input, so data that does not shrink is exit\n"
          "status 1. Decompressing: the whole stream, checked by its Adler-32; data beyond the\n"
          "capacity is exit status 1, with nothing written.");
    zlibCmd->callback([zlib, zlibCmd, &io] {
        zlib->hasCapacity = zlibCmd->count("--capacity") > 0;
        RunZlib(io, *zlib);
    });

    auto pw = std::make_shared<PasswordOptions>();
    CLI::App* pwCmd = app.add_subcommand("password", "Password records bound to two key texts");
    pwCmd->require_subcommand(1);
    CLI::App* encrypt = pwCmd->add_subcommand(
        "encrypt", "Print the record of the password on standard input (one line end dropped)");
    encrypt->add_option("KEY1", pw->key1, "First key text")->required();
    encrypt->add_option("KEY2", pw->key2, "Second key text, not empty")->required();
    Rules(encrypt,
          "Input: the password on standard input, 0 to 127 bytes after one line end (LF or CR LF)\n"
          "is dropped; a NUL byte is refused. KEY1;KEY2 must be shorter than 128 bytes.");
    encrypt->callback([pw, &io] { RunEncrypt(io, *pw); });
    CLI::App* decrypt = pwCmd->add_subcommand("decrypt", "Print the password of a record");
    decrypt->add_option("KEY1", pw->key1, "First key text")->required();
    decrypt->add_option("KEY2", pw->key2, "Second key text, not empty")->required();
    decrypt->add_option("RECORD", pw->record, "Password record, 32 to 255 characters")->required();
    Rules(decrypt, "A record that does not decrypt with the key texts is exit status 1.");
    decrypt->callback([pw, &io] { RunDecrypt(io, *pw); });

    auto pin = std::make_shared<PinOptions>();
    CLI::App* pinCmd = app.add_subcommand(
        "pin", "Check an 8-digit hex code derived from two texts (exit 0 on a match, else 1)");
    pinCmd->add_option("TEXT1", pin->first, "First text, below 65 bytes")->required();
    pinCmd->add_option("TEXT2", pin->second, "Second text, below 65 bytes")->required();
    pinCmd->add_option("CODE", pin->code, "Expected code: 8 lower-case hex digits")->required();
    pinCmd->callback([pin, &io] { RunPin(io, *pin); });

    auto auth = std::make_shared<AuthOptions>();
    CLI::App* authCmd = app.add_subcommand("auth", "Authenticators");
    authCmd->require_subcommand(1);
    CLI::App* insert = authCmd->add_subcommand(
        "insert", "Put the authenticator attributes into the document's first start tag");
    insert->add_option("--plain", auth->plain, "Plain authenticator (text; the tool escapes it)");
    insert->add_option("--auth", auth->auth, "Authenticator (text; the tool escapes it)");
    AddFile(insert, auth->file, "Document (absent or -: standard input)");
    Rules(insert,
          "Input: an XML document, held whole (256 MiB at most); a NUL byte is refused. Its first\n"
          "element needs a start tag of its own (not \"<doc/>\") without these attributes.");
    insert->callback([auth, insert, &io] {
        auth->havePlain = insert->count("--plain") > 0;
        auth->haveAuth = insert->count("--auth") > 0;
        RunInsert(io, *auth);
    });
    CLI::App* recover = authCmd->add_subcommand(
        "recover", "Recover an authenticator's content with the built-in public key");
    recover->add_option("HEX", auth->hex, "The authenticator, up to 128 bytes in hex")->required();
    recover->add_flag("--hex", auth->printHex, "Print all 128 output bytes in hex");
    Rules(recover, "The content is printed up to its first NUL byte (--hex: all 128 bytes).");
    recover->callback([auth, &io] { RunRecover(io, *auth); });
}

}  // namespace zqtool
