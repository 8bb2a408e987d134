// Windows: every name crosses to the system as UTF-16 through the wide-character functions.
#include "platform.h"

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace {

std::atomic<bool>* interruptFlag = nullptr;

std::wstring widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string narrow(const wchar_t* text, size_t size) {
    if (size == 0)
        return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, int(size), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(size), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

HANDLE consoleOf(std::FILE* stream) {
    const int descriptor = _fileno(stream);
    return descriptor < 0 ? INVALID_HANDLE_VALUE
                          : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

// Ctrl-C and Ctrl-Break: the first one asks the run to stop after the frames in flight; the
// second falls through to the default handler, which ends the process. Closing the console,
// logging off or shutting down ends the process as soon as this handler returns, so it does not
// return: the run stops as after Ctrl-C, and the frames in flight get the few seconds Windows
// allows before it ends the process anyway.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        interruptFlag->store(true);
        Sleep(INFINITE);
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (interruptFlag->exchange(true))
        return FALSE;
    return TRUE;
}

} // namespace

// A standard handle is missing when the process got none, or one its parent had closed: a handle
// the run opens could then take that value, and what is written to the standard stream would
// land in it. The C runtime keeps such a descriptor with no handle behind it.
bool occupyClosedStandardDescriptors() {
    static const DWORD standard[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd <= 2; ++fd) {
        const intptr_t crtHandle = _get_osfhandle(fd);
        const HANDLE handle = GetStdHandle(standard[fd]);
        SetLastError(NO_ERROR);
        if (crtHandle != -1 && crtHandle != -2 && handle != nullptr &&
            handle != INVALID_HANDLE_VALUE &&
            (GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR))
            continue;
        const HANDLE null = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (null == INVALID_HANDLE_VALUE)
            return false;
        const int opened = _open_osfhandle(reinterpret_cast<intptr_t>(null), _O_RDONLY);
        if (opened < 0) {
            CloseHandle(null);
            return false;
        }
        if (opened != fd) {
            const bool moved = _dup2(opened, fd) == 0;
            _close(opened);
            if (!moved)
                return false;
        }
        SetStdHandle(standard[fd], reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
    }
    return true;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // Names printed to the console are UTF-8 like every other string here.
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(narrow(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    return arguments;
}

std::filesystem::path pathFromUtf8(const std::string& name) {
    return std::filesystem::path(widen(name));
}

std::string utf8Name(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    return narrow(wide.data(), wide.size());
}

std::FILE* openFile(const std::string& name, const char* mode) {
    if (name.find('\0') != std::string::npos) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(widen(name).c_str(), widen(mode).c_str());
}

// Only a console that takes the escape sequences the bar is drawn with (Windows 10 and later).
bool isTerminal(std::FILE* stream) {
    const HANDLE console = consoleOf(stream);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int terminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(consoleOf(stream), &info) &&
        info.srWindow.Right > info.srWindow.Left)
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

void stopOnInterrupt(std::atomic<bool>& stop) {
    interruptFlag = &stop;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void ignoreBrokenPipes() {}

void* allocateFrameMemory(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseFrameMemory(void* memory, size_t) {
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
}
