#include "platform/console.h"

#include <cerrno>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <vector>
#endif

namespace zq {

#if defined(_WIN32)

namespace {

bool Open(std::FILE* stream) {
    const int fd = _fileno(stream);
    return fd >= 0 && _get_osfhandle(fd) != -1;
}

}  // namespace

StdStreams PrepareStdStreams() {
    StdStreams s;
    s.inOpen = Open(stdin);
    s.outOpen = Open(stdout);
    s.errOpen = Open(stderr);
    if (s.inOpen) _setmode(_fileno(stdin), _O_BINARY);
    if (s.outOpen) _setmode(_fileno(stdout), _O_BINARY);
    return s;
}

std::FILE* CreateFileBeside(const std::string& target, std::string& path) {
    const unsigned long seed = GetCurrentProcessId() ^ GetTickCount();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".zq%08lx%02x", seed, attempt);
        path = target + suffix;
        int fd = -1;
        if (_sopen_s(&fd, path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYRW,
                     _S_IREAD | _S_IWRITE) != 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        std::FILE* f = _fdopen(fd, "wb");
        if (!f) {
            _close(fd);
            std::remove(path.c_str());
        }
        return f;
    }
    errno = EEXIST;
    return nullptr;
}

#else

namespace {

bool Open(int fd) {
    return fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

}  // namespace

StdStreams PrepareStdStreams() {
    StdStreams s;
    s.inOpen = Open(0);
    s.outOpen = Open(1);
    s.errOpen = Open(2);
    // open() takes the lowest free descriptor: closed ones are filled in the order 0, 1, 2.
    for (const bool isOpen : {s.inOpen, s.outOpen, s.errOpen}) {
        if (!isOpen && open("/dev/null", O_RDWR) < 0) break;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return s;
}

std::FILE* CreateFileBeside(const std::string& target, std::string& path) {
    std::vector<char> name(target.begin(), target.end());
    for (const char c : std::string(".zq-XXXXXX"))
        name.push_back(c);
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    path = name.data();
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        const int saved = errno;
        close(fd);
        unlink(path.c_str());
        errno = saved;
    }
    return f;
}

#endif

}  // namespace zq
