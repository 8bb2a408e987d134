// The Windows test host's module loading, main window and dialog driving.
#include "plugin_harness.h"

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

std::string modulePath;

constexpr int dialogAppearLimitMs = 5000;
constexpr int pollMs = 10;

struct FindDialog {
    HWND found = nullptr;
};

BOOL CALLBACK findVisibleDialog(HWND window, LPARAM context) {
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770" && IsWindowVisible(window)) {
        reinterpret_cast<FindDialog*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND visibleDialogOf(DWORD thread) {
    FindDialog search;
    EnumThreadWindows(thread, findVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string converted = "Z:" + path;
    for (char& c : converted)
        if (c == '/')
            c = '\\';
    return converted;
}

void setPluginPath(const std::string& path) {
    modulePath = windowsPath(path);
}

const std::string& pluginPath() {
    return modulePath;
}

LoadedPlugin::LoadedPlugin() {
    module_ = LoadLibraryA(modulePath.c_str());
    if (module_ == nullptr)
        throw std::runtime_error("cannot load " + modulePath);
    entry_ = reinterpret_cast<PluginEntry>(
        reinterpret_cast<void*>(GetProcAddress(module_, "PluginMain")));
}

LoadedPlugin::~LoadedPlugin() {
    FreeLibrary(module_);
}

void LoadedPlugin::call(int16_t selector, void* record, int16_t* result) {
    intptr_t data = 0;
    entry_(selector, record, &data, result);
}

HostWindow::HostWindow(int x, int y, int width, int height) {
    window_ = CreateWindowExA(0, "STATIC", "Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                              width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    platform_.hwnd = reinterpret_cast<intptr_t>(window_);
}

HostWindow::~HostWindow() {
    DestroyWindow(window_);
}

RECT HostWindow::clientOnScreen() const {
    RECT client{};
    GetClientRect(window_, &client);
    POINT topLeft{client.left, client.top};
    POINT bottomRight{client.right, client.bottom};
    ClientToScreen(window_, &topLeft);
    ClientToScreen(window_, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

DialogSession callWithDialog(const std::function<void()>& call,
                             const std::function<void(HWND dialog)>& script) {
    DialogSession session;
    std::atomic<bool> callDone{false};
    const DWORD hostThread = GetCurrentThreadId();
    std::thread watcher([&] {
        HWND dialog = nullptr;
        for (int waited = 0; dialog == nullptr && !callDone && waited < dialogAppearLimitMs;
             waited += pollMs) {
            dialog = visibleDialogOf(hostThread);
            if (dialog == nullptr)
                Sleep(pollMs);
        }
        if (dialog == nullptr)
            return;
        session.seen = true;
        GetWindowRect(dialog, &session.frame);
        char title[128] = {};
        GetWindowTextA(dialog, title, sizeof title);
        session.title = title;
        script(dialog);
        if (!waitUntilClosed(dialog)) {
            session.forcedClose = true;
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
    });
    call();
    callDone = true;
    watcher.join();
    return session;
}

void setControlText(HWND dialog, int id, const std::string& text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string controlText(HWND dialog, int id) {
    char text[512] = {};
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void clickButton(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool isChecked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool waitUntilClosed(HWND dialog, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += pollMs) {
        if (!IsWindow(dialog))
            return true;
        Sleep(pollMs);
    }
    return !IsWindow(dialog);
}
