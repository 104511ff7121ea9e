// The standard streams and file replacement as a command-line program needs them, the same on
// POSIX systems and on Windows.
#ifndef ZQ_PLATFORM_CONSOLE_H
#define ZQ_PLATFORM_CONSOLE_H

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "zqxmlu_treectrl.h"

namespace zq {

// Which of the three standard streams the process was started with.
struct StdStreams {
    bool inOpen = true;
    bool outOpen = true;
    bool errOpen = true;
};

// Prepares the standard streams of a program that reads and writes bytes:
//  * standard input and output are put in binary mode (Windows: no CR LF translation, no end of
//    input at Ctrl-Z), so that every byte passes unchanged;
//  * a write to a pipe whose reader has gone fails with an error instead of ending the process
//    (POSIX: SIGPIPE is ignored);
//  * a stream the program was started without (a closed descriptor 0, 1 or 2) is reported and
//    opened on the null device, so that no file the program opens later takes its place.
// Call it once, first thing in main.
StdStreams PrepareStdStreams();

// Whether `stream` writes to a terminal (Windows: a console), where a program may redraw a line
// in place. Files, pipes and the null device are no terminals.
bool IsTerminal(std::FILE* stream);

// Creates a new, empty file beside `target` (in the same folder; its name is the target's name
// and a unique suffix) and opens it for writing in binary mode. The file is made exclusively: an
// existing file is never opened. Returns the stream and stores the new file's path in `path`;
// NULL (errno set) when no such file can be made.
std::FILE* CreateFileBeside(const std::string& target, std::string& path);

// The program's arguments as UTF-8 (Windows: read from the wide command line, whatever the code
// page; elsewhere the bytes as given).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// fopen for a UTF-8 path (Windows: through the wide path, so any name opens).
std::FILE* OpenFile(const std::string& path, const char* mode);

// A UTF-8 path as the file system library's path.
inline std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 form of a path.
inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

// The tree-view control a command-line program fills. Windows: a hidden common-controls tree
// view of its own (made when the host is, destroyed with it; it needs a display, and Valid() says
// whether the window could be made). Elsewhere: the in-memory control.
class TreeHost {
  public:
    TreeHost();
    ~TreeHost();
    TreeHost(const TreeHost&) = delete;
    TreeHost& operator=(const TreeHost&) = delete;
    CTreeCtrl& Control() { return *control_; }
    bool Valid() const;

  private:
    CTreeCtrl* control_;
};

}  // namespace zq

#endif  // ZQ_PLATFORM_CONSOLE_H
