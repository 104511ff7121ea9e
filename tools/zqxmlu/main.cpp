// zqxmlu: every subsystem of the library, reachable from a shell.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

std::string ReadInput(const std::string& path) {
    if (path.empty() || path == "-") {
        std::string data{std::istreambuf_iterator<char>(std::cin),
                         std::istreambuf_iterator<char>()};
        if (std::cin.bad()) throw Failure("cannot read standard input");
        return data;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot open " + path);
    std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw Failure("cannot read " + path);
    return data;
}

void WriteOutput(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        throw Failure("cannot write standard output");
    }
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure("cannot open " + path + " for writing");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw Failure("cannot write " + path);
}

}  // namespace zqtool

int main(int argc, char** argv) {
    CLI::App app{"zqxmlu - XML and text utilities of the ZqXmlU library", "zqxmlu"};
    app.set_version_flag("--version", "zqxmlu " ZQXMLU_VERSION_STRING);
    app.require_subcommand(1);
    app.footer(
        "Input comes from FILE or, when it is absent or '-', from standard input.\n"
        "Exit status: 0 success, 1 failed operation, 2 usage error.");

    zqtool::AddFrameCommands(app);
    zqtool::AddTextCommands(app);
    zqtool::AddTimeCommands(app);
    zqtool::AddUriCommands(app);
    zqtool::AddScanCommands(app);
    zqtool::AddMetadataCommands(app);
    zqtool::AddCryptoCommands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    } catch (const zqtool::UsageError& e) {
        std::fprintf(stderr, "zqxmlu: %s\nRun with --help for more information.\n", e.what());
        return 2;
    } catch (const zqtool::Failure& e) {
        std::fprintf(stderr, "zqxmlu: %s\n", e.what());
        return 1;
    }
    return 0;
}
