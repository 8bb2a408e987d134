// What a Windows host does around the plug-in, for the tests: load the module by path, own a main
// window for the dialogs, and drive a modal dialog from a second thread while the plug-in's call
// blocks the host's thread, with time limits so that no test can hang.
#pragma once

#include "host_interface.h"

#include <windows.h>

#include <functional>
#include <string>

using PluginEntry = void (*)(int16_t selector, void* record, intptr_t* data, int16_t* result);

// A POSIX path as Wine sees it on its Z: drive; other paths unchanged.
std::string windowsPath(const std::string& path);

// The module path given on the command line.
void setPluginPath(const std::string& path);
const std::string& pluginPath();

// The plug-in loaded with LoadLibrary and unloaded when this goes away.
class LoadedPlugin {
  public:
    LoadedPlugin();
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    HMODULE module() const { return module_; }
    // Calls PluginMain; the entry must exist (the tests check that first).
    void call(int16_t selector, void* record, int16_t* result);

  private:
    HMODULE module_ = nullptr;
    PluginEntry entry_ = nullptr;
};

// A visible top-level window standing for the host's document window.
class HostWindow {
  public:
    HostWindow(int x, int y, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return window_; }
    PlatformData* platformData() { return &platform_; }
    // The client area in screen coordinates.
    RECT clientOnScreen() const;

  private:
    HWND window_ = nullptr;
    PlatformData platform_{};
};

struct DialogSession {
    bool seen = false;        // a dialog of the host's thread became visible during the call
    bool forcedClose = false; // the script left it open, so the watch closed it
    RECT frame{};             // its window rectangle when it first showed
    std::string title;
};

// Runs call on this thread while a helper thread waits for a dialog of this thread to show and
// then runs script on it. A dialog still open a few seconds after the script gets WM_CLOSE.
DialogSession callWithDialog(const std::function<void()>& call,
                             const std::function<void(HWND dialog)>& script);

// Script steps, sent to the dialog from the helper thread as a user's actions would arrive.
void setControlText(HWND dialog, int id, const std::string& text);
std::string controlText(HWND dialog, int id);
void clickButton(HWND dialog, int id);
bool isChecked(HWND dialog, int id);
// True when the dialog is gone within the time limit.
bool waitUntilClosed(HWND dialog, int milliseconds = 3000);
