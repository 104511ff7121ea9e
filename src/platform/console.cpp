#include "platform/console.h"

#include <cerrno>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
// windows.h first: shellapi.h builds on it.
#include <shellapi.h>

#include "platform/utf.h"
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

std::wstring Widen(const std::string& s) {
    const int n = Utf8ToUtf16(s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) Utf8ToUtf16(s.c_str(), -1, w.data(), n);
    w.resize(w.size() - 1);
    return w;
}

std::string Narrow(const wchar_t* w) {
    const int n = Utf16ToUtf8(w, -1, nullptr, 0);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) Utf16ToUtf8(w, -1, s.data(), n);
    s.resize(s.size() - 1);
    return s;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    if (wide && n == argc) {
        for (int i = 0; i < n; ++i)
            args.push_back(Narrow(wide[i]));
    } else {
        args.assign(argv, argv + argc);
    }
    if (wide) LocalFree(wide);
    return args;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    std::FILE* f = nullptr;
    return _wfopen_s(&f, Widen(path).c_str(), Widen(mode).c_str()) == 0 ? f : nullptr;
}

StdStreams PrepareStdStreams() {
    StdStreams s;
    s.inOpen = Open(stdin);
    s.outOpen = Open(stdout);
    s.errOpen = Open(stderr);
    if (s.inOpen) _setmode(_fileno(stdin), _O_BINARY);
    if (s.outOpen) _setmode(_fileno(stdout), _O_BINARY);
    if (s.errOpen) _setmode(_fileno(stderr), _O_BINARY);  // messages end in LF everywhere
    return s;
}

bool IsTerminal(std::FILE* stream) {
    const int fd = stream ? _fileno(stream) : -1;
    // _isatty holds for every character device, the null device too; only a console has a mode.
    DWORD mode = 0;
    return fd >= 0 && _isatty(fd) &&
           GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode) != 0;
}

std::FILE* CreateFileBeside(const std::string& target, std::string& path) {
    const unsigned long seed = GetCurrentProcessId() ^ GetTickCount();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".zq%08lx%02x", seed, attempt);
        path = target + suffix;
        int fd = -1;
        if (_wsopen_s(&fd, Widen(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                      _SH_DENYRW, _S_IREAD | _S_IWRITE) != 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        std::FILE* f = _fdopen(fd, "wb");
        if (!f) {
            _close(fd);
            _wremove(Widen(path).c_str());
        }
        return f;
    }
    errno = EEXIST;
    return nullptr;
}

TreeHost::TreeHost() : control_(new CTreeCtrl) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&init);
    control_->m_hWnd = CreateWindowExA(0, WC_TREEVIEWA, "zqxmlu", WS_POPUP, 0, 0, 100, 100, nullptr,
                                       nullptr, GetModuleHandleA(nullptr), nullptr);
}

TreeHost::~TreeHost() {
    if (control_->m_hWnd) DestroyWindow(control_->m_hWnd);
    delete control_;
}

bool TreeHost::Valid() const {
    return control_->m_hWnd != nullptr;
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

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

bool IsTerminal(std::FILE* stream) {
    const int fd = stream ? fileno(stream) : -1;
    return fd >= 0 && isatty(fd) != 0;
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

#if !defined(_WIN32)

TreeHost::TreeHost() : control_(new CTreeCtrl) {}

TreeHost::~TreeHost() {
    delete control_;
}

bool TreeHost::Valid() const {
    return true;
}

#endif

}  // namespace zq
