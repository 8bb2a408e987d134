// Opens one of the plug-in's dialogs over a host window and holds it still long enough for a
// screenshot: prints the dialog's window rectangle ("x y width height") on the first line, waits,
// then closes it. Used by tests/wine/take-screenshots.sh.
#include "plugin_harness.h"
#include "resource_ids.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: screenshot_host --plugin=PATH about|options [hold-ms]\n");
        return 2;
    }
    const std::string pluginArgument = argv[1];
    setPluginPath(pluginArgument.substr(pluginArgument.find('=') + 1));
    const bool about = std::string(argv[2]) == "about";
    const int holdMs = argc > 3 ? std::atoi(argv[3]) : 3000;

    LoadedPlugin plugin;
    HostWindow host(60, 40, 700, 500);
    const auto hold = [&](HWND dialog) {
        RECT frame{};
        GetWindowRect(dialog, &frame);
        std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                    frame.bottom - frame.top);
        std::fflush(stdout);
        Sleep(holdMs);
        if (about)
            PostMessageA(dialog, WM_CHAR, 0x1B, 0);
        else
            clickButton(dialog, IDCANCEL);
    };

    int16_t result = 0;
    if (about) {
        AboutRecord record{};
        record.platformData = host.platformData();
        callWithDialog([&] { plugin.call(0, &record, &result); }, hold);
    } else {
        FilterRecord record{};
        record.imageMode = plugInModeRGBColor;
        record.planes = 4;
        record.depth = 8;
        record.platformData = host.platformData();
        callWithDialog([&] { plugin.call(3, &record, &result); }, hold);
    }
    return 0;
}
