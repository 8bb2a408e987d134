// The plug-in module driven the way the host drives it: loaded by path, its registration resource
// read through the resource API, PluginMain called with each selector and a FilterRecord laid out
// as the host's, and its dialogs worked from a second thread like a user would.
#include "plugin_case.h"
#include "plugin_harness.h"
#include "resource_ids.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

// ---- Host callbacks that record what the plug-in asks of the host ----

int advanceCalls = 0;
OSErr countAdvance() {
    ++advanceCalls;
    return noErr;
}

int pickerCalls = 0;
ColorServicesInfo pickerRequest{};
OSErr pickerCode = noErr;
int16_t pickedColour[3] = {10, 20, 30};

OSErr pickColour(ColorServicesInfo* info) {
    ++pickerCalls;
    pickerRequest = *info;
    if (pickerCode == noErr) {
        for (int i = 0; i < 3; ++i)
            info->colorComponents[i] = pickedColour[i];
    }
    return pickerCode;
}

int acquireCalls = 0, releaseCalls = 0;
SPErr countAcquire(const char*, int32_t, const void**) {
    ++acquireCalls;
    return -1;
}
SPErr countRelease(const char*, int32_t) {
    ++releaseCalls;
    return 0;
}

constexpr int16_t untouched = 12345;

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        advanceCalls = pickerCalls = acquireCalls = releaseCalls = 0;
        pickerRequest = ColorServicesInfo{};
        pickerCode = noErr;
        basic.AcquireSuite = countAcquire;
        basic.ReleaseSuite = countRelease;
    }

    // A record for a call that must not reach the pixels: no buffers, a counting advanceState.
    FilterRecord bareRecord(int16_t mode, int16_t planes, int32_t depth) {
        FilterRecord record{};
        record.imageMode = mode;
        record.planes = planes;
        record.depth = depth;
        record.filterRect = Rect{0, 0, 8, 8};
        record.advanceState = countAdvance;
        record.colorServices = pickColour;
        record.platformData = host.platformData();
        record.sSPBasic = &basic;
        return record;
    }

    LoadedPlugin plugin;
    HostWindow host{200, 150, 640, 480};
    SPBasicSuite basic{};
};

// ---- The module as the host finds it ----

std::vector<uint8_t> bytesOf(const char* text, size_t length) {
    std::vector<uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), text, std::min(length, std::strlen(text)));
    return bytes;
}

std::vector<uint8_t> le32(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

uint32_t fourCharCode(const char* code) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

struct ExpectedProperty {
    const char* key;
    std::vector<uint8_t> value; // its stated length is the value's size
};

TEST_F(PluginTest, RegistrationResourceListsTheFilterAsTheHostReadsIt) {
    HRSRC found = FindResourceExA(plugin.module(), "PIPL", MAKEINTRESOURCEA(16000),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr);
    const auto* data =
        static_cast<const uint8_t*>(LockResource(LoadResource(plugin.module(), found)));
    const size_t size = SizeofResource(plugin.module(), found);
    ASSERT_NE(data, nullptr);

    // The cases' handling and flags bytes: editable transparency only, straight data.
    const std::vector<uint8_t> cases = {0, 0, 0x06, 0, 0, 0, 0x0E, 0, 0, 0, 0x0E, 0, 1, 1, 0x06, 0,
                                        1, 1, 0x0E, 0, 0, 0, 0x06, 0, 0, 0, 0x0E, 0};
    std::vector<uint8_t> maxSize = le32(2000000);
    maxSize.insert(maxSize.end(), maxSize.begin(), maxSize.end());
    const ExpectedProperty expected[] = {
        {"kind", le32(fourCharCode("8BFM"))},
        {"name", bytesOf("\x12Tovrin Smoother...", 20)},
        {"catg", bytesOf("\x06Tovrin", 8)},
        {"vers", le32(0x00040000)},
        {"8664", bytesOf("PluginMain", 12)},
        {"mode", {0x10, 0, 0, 0}},
        {"enbl", bytesOf("in(PSHOP_ImageMode, RGBMode, RGB48Mode)", 44)},
        {"ms32", maxSize},
        {"fici", cases},
    };

    size_t offset = 0;
    auto read32 = [&] {
        uint32_t value = 0;
        std::memcpy(&value, data + offset, 4);
        offset += 4;
        return value;
    };
    ASSERT_GE(size, 10u);
    EXPECT_EQ(data[0] | data[1] << 8, 1); // reserved word
    offset = 2;
    EXPECT_EQ(read32(), 0u); // version
    ASSERT_EQ(read32(), 9u); // property count
    for (const ExpectedProperty& property : expected) {
        SCOPED_TRACE(property.key);
        ASSERT_LE(offset + 16, size);
        EXPECT_EQ(read32(), fourCharCode("8BIM"));
        EXPECT_EQ(read32(), fourCharCode(property.key));
        EXPECT_EQ(read32(), 0u);
        const uint32_t length = read32();
        ASSERT_EQ(length, property.value.size());
        ASSERT_LE(offset + length, size);
        EXPECT_EQ(std::vector<uint8_t>(data + offset, data + offset + length), property.value);
        offset += (length + 3) & ~3u;
    }
    EXPECT_EQ(offset, size);

    // The entry point the resource names is the one the module exports.
    EXPECT_NE(GetProcAddress(plugin.module(), "PluginMain"), nullptr);
    EXPECT_NE(GetProcAddress(plugin.module(), "SimpleEventProc"), nullptr);
}

TEST_F(PluginTest, CarriesItsDialogsStringsVersionAndManifest) {
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_NE(FindResourceExA(plugin.module(), MAKEINTRESOURCEA(5), "SIMPLEDIALOG", english),
              nullptr);
    EXPECT_NE(
        FindResourceExA(plugin.module(), MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(16000), english),
        nullptr);
    HRSRC manifest = FindResourceA(plugin.module(), MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifest, nullptr);
    const std::string manifestText(
        static_cast<const char*>(LockResource(LoadResource(plugin.module(), manifest))),
        SizeofResource(plugin.module(), manifest));
    EXPECT_NE(manifestText.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifestText.find("uiAccess=\"false\""), std::string::npos);

    char about[512] = {};
    ASSERT_GT(LoadStringA(plugin.module(), IDS_ABOUT, about, sizeof about), 0);
    const std::string aboutText = about;
    EXPECT_EQ(aboutText.rfind("Tovrin Smoother 1.01\n", 0), 0u);
    EXPECT_EQ(aboutText.substr(aboutText.size() - 38), "\n\nAnimation Cell Line Smoothing Effect");
    char escaped[512] = {};
    ASSERT_GT(LoadStringA(plugin.module(), IDS_ABOUT_ESCAPED, escaped, sizeof escaped), 0);
    EXPECT_EQ(std::string(escaped).find('\n'), std::string::npos);
    char message[512] = {};
    ASSERT_GT(LoadStringA(plugin.module(), IDS_SUITE_MISSING, message, sizeof message), 0);
    EXPECT_STREQ(message, "the required suite \\'^0\\' is unavailable");

    const std::string path = pluginPath();
    const DWORD versionSize = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(versionSize, 0u);
    std::vector<char> version(versionSize);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, versionSize, version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x000A0000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x000A0000u);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
    for (const char* field : {"FileVersion", "ProductVersion"}) {
        char* value = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + field;
        ASSERT_TRUE(
            VerQueryValueA(version.data(), key.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(value, "1.01");
    }
}

// ---- Selectors ----

TEST_F(PluginTest, SelectorsOtherThanStartTouchNothing) {
    for (int16_t selector : {1, 2, 4, 5, 6, 99}) {
        SCOPED_TRACE(selector);
        FilterRecord record = bareRecord(plugInModeRGBColor, 4, 8);
        int16_t result = untouched;
        const DialogSession session =
            callWithDialog([&] { plugin.call(selector, &record, &result); }, [](HWND) {});
        EXPECT_FALSE(session.seen);
        EXPECT_EQ(result, untouched);
        EXPECT_EQ(advanceCalls, 0);
        EXPECT_EQ(record.inRect.bottom, 0); // nothing requested
        EXPECT_EQ(record.inHiPlane, 0);
    }
}

TEST_F(PluginTest, StartRefusesImagesOtherThanFourPlaneRgb) {
    struct Image {
        int16_t mode, planes;
        int32_t depth;
    };
    for (const Image image : {Image{plugInModeGrayScale, 2, 8}, Image{plugInModeCMYKColor, 5, 8},
                              Image{plugInModeLabColor, 4, 8}, Image{plugInModeRGBColor, 3, 8},
                              Image{plugInModeRGB48, 3, 16}, Image{plugInModeRGBColor, 5, 8}}) {
        SCOPED_TRACE(image.mode * 10 + image.planes);
        FilterRecord record = bareRecord(image.mode, image.planes, image.depth);
        int16_t result = untouched;
        const DialogSession session = callWithDialog(
            [&] { plugin.call(filterSelectorStart, &record, &result); }, [](HWND) {});
        EXPECT_FALSE(session.seen);
        EXPECT_EQ(result, filterBadMode);
        EXPECT_EQ(advanceCalls, 0);
    }
}

TEST_F(PluginTest, StartOnAnUnsupportedDepthReportsBadModeAfterTheDialog) {
    FilterRecord record = bareRecord(plugInModeRGBColor, 4, 32);
    int16_t result = untouched;
    const DialogSession session =
        callWithDialog([&] { plugin.call(filterSelectorStart, &record, &result); },
                       [](HWND dialog) { clickButton(dialog, IDOK); });
    EXPECT_TRUE(session.seen);
    EXPECT_FALSE(session.forcedClose);
    EXPECT_EQ(result, filterBadMode);
    EXPECT_EQ(advanceCalls, 0);
}

// ---- The About box ----

enum class Closing { Click, Return, Escape };

void close(HWND dialog, Closing how) {
    switch (how) {
    case Closing::Click: {
        // On the text, which lets clicks through to the dialog as a real mouse would.
        RECT text{};
        GetWindowRect(GetDlgItem(dialog, IDC_ABOUT_TEXT), &text);
        POINT point{(text.left + text.right) / 2, (text.top + text.bottom) / 2};
        ScreenToClient(dialog, &point);
        PostMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        PostMessageA(dialog, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        break;
    }
    case Closing::Return:
    case Closing::Escape: {
        const WPARAM key = how == Closing::Return ? VK_RETURN : VK_ESCAPE;
        PostMessageA(dialog, WM_KEYDOWN, key, 1);
        PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
        break;
    }
    }
}

TEST_F(PluginTest, AboutBoxShowsTheAboutTextCentredAndClosesOnClickReturnOrEscape) {
    char expectedText[512] = {};
    LoadStringA(plugin.module(), IDS_ABOUT, expectedText, sizeof expectedText);
    const int button = GetSystemMetrics(SM_CXSIZE);
    const int allowance = button - button / 3; // the box has no system menu
    for (Closing how : {Closing::Click, Closing::Return, Closing::Escape}) {
        SCOPED_TRACE(static_cast<int>(how));
        AboutRecord about{};
        about.platformData = host.platformData();
        about.sSPBasic = &basic;
        int16_t result = untouched;
        std::string text;
        LONG style = 0;
        const DialogSession session =
            callWithDialog([&] { plugin.call(filterSelectorAbout, &about, &result); },
                           [&](HWND dialog) {
                               text = controlText(dialog, IDC_ABOUT_TEXT);
                               style = GetWindowLongA(dialog, GWL_STYLE);
                               close(dialog, how);
                           });
        ASSERT_TRUE(session.seen);
        EXPECT_FALSE(session.forcedClose);
        EXPECT_EQ(result, untouched);
        EXPECT_EQ(text, expectedText);
        EXPECT_EQ(style & WS_SYSMENU, 0);
        EXPECT_EQ(session.title, "");

        // Centred over the host's client area less the allowance, a third of the free height down.
        const RECT client = host.clientOnScreen();
        const int width = session.frame.right - session.frame.left;
        const int height = session.frame.bottom - session.frame.top;
        ASSERT_LT(width, client.right - client.left);
        ASSERT_LT(height, client.bottom - client.top);
        EXPECT_EQ(session.frame.left,
                  client.left + (client.right - client.left - width) / 2 - allowance);
        EXPECT_EQ(session.frame.top, client.top + (client.bottom - client.top - height) / 3);
    }
    EXPECT_EQ(acquireCalls, 0);
}

TEST_F(PluginTest, AboutBoxNearTheRightEdgeEndsAtTheEdge) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    HostWindow nearEdge(screenWidth - 250, 100, 240, 400);
    AboutRecord about{};
    about.platformData = nearEdge.platformData();
    int16_t result = untouched;
    const DialogSession session =
        callWithDialog([&] { plugin.call(filterSelectorAbout, &about, &result); },
                       [](HWND dialog) { close(dialog, Closing::Escape); });
    ASSERT_TRUE(session.seen);
    EXPECT_EQ(session.frame.right, screenWidth);
}

TEST_F(PluginTest, AboutBoxWithoutAHostWindowCentresOnTheScreen) {
    AboutRecord about{};
    int16_t result = untouched;
    const DialogSession session =
        callWithDialog([&] { plugin.call(filterSelectorAbout, &about, &result); },
                       [](HWND dialog) { close(dialog, Closing::Return); });
    ASSERT_TRUE(session.seen);
    const int button = GetSystemMetrics(SM_CXSIZE);
    const int width = session.frame.right - session.frame.left;
    const int height = session.frame.bottom - session.frame.top;
    EXPECT_EQ(session.frame.left,
              (GetSystemMetrics(SM_CXSCREEN) - width) / 2 - (button - button / 3));
    EXPECT_EQ(session.frame.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 3);
}

// ---- The options dialog ----

// One start call on a small 8-bit image through the dialog: white paper, one pixel of
// (10, 20, 30), so the colour key that the dialog stored shows in which pixel loses its alpha.
struct StartRun {
    OSErr result = untouched;
    DialogSession session;
    int advanceCalls = 0;
    uint8_t whiteAlpha = 0, keyedAlpha = 0;
};

constexpr int32_t keyedX = 2, keyedY = 1;

void type(HWND dialog, const char* red, const char* green, const char* blue, const char* range) {
    setControlText(dialog, IDC_KEY_RED, red);
    setControlText(dialog, IDC_KEY_GREEN, green);
    setControlText(dialog, IDC_KEY_BLUE, blue);
    setControlText(dialog, IDC_SMOOTH_RANGE, range);
}

struct Edits {
    std::string red, green, blue, range;
    bool operator==(const Edits&) const = default;
};

Edits edits(HWND dialog) {
    return Edits{controlText(dialog, IDC_KEY_RED), controlText(dialog, IDC_KEY_GREEN),
                 controlText(dialog, IDC_KEY_BLUE), controlText(dialog, IDC_SMOOTH_RANGE)};
}

std::ostream& operator<<(std::ostream& out, const Edits& e) {
    return out << e.red << "," << e.green << "," << e.blue << "," << e.range;
}

class OptionsDialogTest : public PluginTest {
  protected:
    StartRun start(const std::function<void(HWND)>& script) {
        TestHost<uint8_t> image(5, 4);
        image.fill({255, 255, 255, 255});
        image.at(keyedX, keyedY) = {10, 20, 30, 255};
        StartRun run;
        run.result = image.runWith([&](FilterRecord& record) {
            record.platformData = host.platformData();
            record.colorServices = pickColour;
            record.sSPBasic = &basic;
            int16_t result = untouched;
            run.session =
                callWithDialog([&] { plugin.call(filterSelectorStart, &record, &result); }, script);
            return result;
        });
        run.advanceCalls = image.advanceCalls;
        if (image.advanceCalls > 0) {
            run.whiteAlpha = image.inputAfterRun(0, 0)[3];
            run.keyedAlpha = image.inputAfterRun(keyedX, keyedY)[3];
        }
        return run;
    }
};

TEST_F(OptionsDialogTest, OpensOnTheDefaultsAndCancelStopsThePass) {
    Edits opened;
    bool checked = true;
    std::string caption;
    LONG style = 0, editStyle = 0, okStyle = 0;
    const StartRun run = start([&](HWND dialog) {
        opened = edits(dialog);
        checked = isChecked(dialog, IDC_USE_COLOUR_KEY);
        style = GetWindowLongA(dialog, GWL_STYLE);
        editStyle = GetWindowLongA(GetDlgItem(dialog, IDC_KEY_RED), GWL_STYLE);
        okStyle = GetWindowLongA(GetDlgItem(dialog, IDOK), GWL_STYLE);
        type(dialog, "1", "2", "3", "4");
        clickButton(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDCANCEL);
    });
    ASSERT_TRUE(run.session.seen);
    EXPECT_FALSE(run.session.forcedClose);
    EXPECT_EQ(run.session.title, "Tovrin Smoother");
    EXPECT_EQ(opened, (Edits{"255", "255", "255", "0"}));
    EXPECT_FALSE(checked);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_NE(editStyle & ES_NUMBER, 0);
    EXPECT_EQ(okStyle & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(run.result, userCanceledErr);
    EXPECT_EQ(run.advanceCalls, 0);
}

TEST_F(OptionsDialogTest, RefusedValuesAreResetAndTheDialogStaysOpen) {
    struct Refusal {
        const char *red, *green, *blue, *range;
        Edits shown; // after OK
    };
    const Refusal refusals[] = {
        {"300", "20", "30", "5", {"255", "20", "30", "5"}},
        {"-1", "20", "30", "5", {"255", "20", "30", "5"}},
        {"1", "2", "3", "256", {"1", "2", "3", "0"}},
        {"1", "2", "3", "", {"1", "2", "3", "0"}},
        {"", "999", "-7", "x", {"255", "255", "255", "0"}},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(std::string(refusal.red) + "," + refusal.range);
        Edits shown;
        bool openAfterOk = false;
        const StartRun run = start([&](HWND dialog) {
            type(dialog, refusal.red, refusal.green, refusal.blue, refusal.range);
            clickButton(dialog, IDOK);
            openAfterOk = IsWindow(dialog) && IsWindowVisible(dialog);
            shown = edits(dialog);
            clickButton(dialog, IDCANCEL);
        });
        EXPECT_TRUE(openAfterOk);
        EXPECT_EQ(shown, refusal.shown);
        EXPECT_EQ(run.result, userCanceledErr);
        EXPECT_EQ(run.advanceCalls, 0);
    }
}

TEST_F(OptionsDialogTest, ACorrectedValueIsAcceptedOnTheSecondOk) {
    Edits afterFirst;
    const StartRun run = start([&](HWND dialog) {
        type(dialog, "300", "20", "30", "5");
        clickButton(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDOK);
        afterFirst = edits(dialog);
        setControlText(dialog, IDC_KEY_RED, "10");
        clickButton(dialog, IDOK);
    });
    EXPECT_EQ(afterFirst, (Edits{"255", "20", "30", "5"}));
    EXPECT_FALSE(run.session.forcedClose);
    EXPECT_EQ(run.result, noErr);
    EXPECT_EQ(run.advanceCalls, 1);
    EXPECT_EQ(run.keyedAlpha, 0); // the key (10, 20, 30) reached the pass
    EXPECT_EQ(run.whiteAlpha, 255);
}

TEST_F(OptionsDialogTest, ValuesAtTheLimitsAreAccepted) {
    for (const char* limit : {"0", "255"}) {
        const StartRun run = start([&](HWND dialog) {
            type(dialog, limit, limit, limit, limit);
            clickButton(dialog, IDOK);
        });
        EXPECT_FALSE(run.session.forcedClose);
        EXPECT_EQ(run.result, noErr);
        EXPECT_EQ(run.advanceCalls, 1);
    }
}

TEST_F(OptionsDialogTest, TheCheckBoxDecidesWhetherTheKeyIsUsed) {
    for (int clicks : {0, 1, 2}) {
        SCOPED_TRACE(clicks);
        const StartRun run = start([&](HWND dialog) {
            type(dialog, "10", "20", "30", "0");
            for (int i = 0; i < clicks; ++i)
                clickButton(dialog, IDC_USE_COLOUR_KEY);
            clickButton(dialog, IDOK);
        });
        EXPECT_EQ(run.result, noErr);
        EXPECT_EQ(run.keyedAlpha, clicks == 1 ? 0 : 255);
    }
}

TEST_F(OptionsDialogTest, ChooseColorTakesThePickedColourAsTheKey) {
    Edits afterPick;
    bool checkedAfterPick = true;
    const StartRun run = start([&](HWND dialog) {
        clickButton(dialog, IDC_CHOOSE_COLOUR);
        afterPick = edits(dialog);
        checkedAfterPick = isChecked(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDOK);
    });
    EXPECT_EQ(pickerCalls, 1);
    EXPECT_EQ(pickerRequest.infoSize, 56);
    EXPECT_EQ(pickerRequest.selector, plugIncolorServicesChooseColor);
    EXPECT_EQ(pickerRequest.sourceSpace, plugIncolorServicesRGBSpace);
    EXPECT_EQ(pickerRequest.resultSpace, plugIncolorServicesRGBSpace);
    EXPECT_EQ(pickerRequest.colorComponents[0], 0);
    EXPECT_EQ(pickerRequest.selectorParameter.pickerPrompt, nullptr);
    EXPECT_EQ(afterPick, (Edits{"10", "20", "30", "0"}));
    EXPECT_FALSE(checkedAfterPick);
    EXPECT_EQ(run.result, noErr);
    EXPECT_EQ(run.keyedAlpha, 0);
    EXPECT_EQ(run.whiteAlpha, 255);
}

TEST_F(OptionsDialogTest, AFailedPickerChangesNothing) {
    pickerCode = userCanceledErr;
    Edits afterPick;
    const StartRun run = start([&](HWND dialog) {
        clickButton(dialog, IDC_CHOOSE_COLOUR);
        afterPick = edits(dialog);
        clickButton(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDOK);
    });
    EXPECT_EQ(pickerCalls, 1);
    EXPECT_EQ(afterPick, (Edits{"255", "255", "255", "0"}));
    EXPECT_EQ(run.result, noErr);
    EXPECT_EQ(run.whiteAlpha, 0); // the key stayed white
    EXPECT_EQ(run.keyedAlpha, 255);
}

TEST_F(OptionsDialogTest, ASecondInvocationOpensOnTheDefaultsAgain) {
    const StartRun first = start([](HWND dialog) {
        type(dialog, "1", "2", "3", "4");
        clickButton(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDOK);
    });
    ASSERT_EQ(first.result, noErr);
    Edits opened;
    bool checked = true;
    const StartRun second = start([&](HWND dialog) {
        opened = edits(dialog);
        checked = isChecked(dialog, IDC_USE_COLOUR_KEY);
        clickButton(dialog, IDOK);
    });
    EXPECT_EQ(opened, (Edits{"255", "255", "255", "0"}));
    EXPECT_FALSE(checked);
    EXPECT_EQ(second.whiteAlpha, 255); // no key carried over
}

// ---- Pixels: the plug-in against the native build's pass ----

std::string caseDirectory;

std::vector<std::string> caseFiles() {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    const std::string pattern = caseDirectory + "\\*.case";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do
        files.push_back(caseDirectory + "\\" + found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

TEST_F(PluginTest, PixelsEqualTheNativePassByteForByte) {
    if (caseDirectory.empty())
        GTEST_SKIP() << "no pixel cases: configure this build with "
                        "-DTOVRIN_NATIVE_BUILD_DIR=<native build directory>";
    const std::vector<std::string> files = caseFiles();
    ASSERT_FALSE(files.empty()) << "no case files in " << caseDirectory;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        PluginCase pluginCase;
        ASSERT_TRUE(readPluginCase(file, pluginCase));
        const FilterParameters& options = pluginCase.parameters;
        std::vector<uint8_t> document;
        DialogSession session;
        const OSErr result = runPluginCase(
            pluginCase,
            [&](FilterRecord& record) {
                record.platformData = host.platformData();
                record.sSPBasic = &basic;
                int16_t code = untouched;
                session = callWithDialog([&] { plugin.call(filterSelectorStart, &record, &code); },
                                         [&](HWND dialog) {
                                             type(dialog, std::to_string(options.keyRed).c_str(),
                                                  std::to_string(options.keyGreen).c_str(),
                                                  std::to_string(options.keyBlue).c_str(),
                                                  std::to_string(options.smoothRange).c_str());
                                             if (options.useColourKey)
                                                 clickButton(dialog, IDC_USE_COLOUR_KEY);
                                             clickButton(dialog, IDOK);
                                         });
                return code;
            },
            document);
        EXPECT_FALSE(session.forcedClose);
        EXPECT_EQ(result, noErr);
        ASSERT_EQ(document.size(), pluginCase.expected.size());
        size_t differing = 0;
        for (size_t i = 0; i < document.size(); ++i)
            differing += document[i] != pluginCase.expected[i];
        EXPECT_EQ(differing, 0u) << "bytes differ from the native pass";
    }
}

// ---- Unload ----

TEST(PluginUnload, ReleasesNoSuiteItNeverAcquired) {
    acquireCalls = releaseCalls = 0;
    SPBasicSuite basic{};
    basic.AcquireSuite = countAcquire;
    basic.ReleaseSuite = countRelease;
    {
        LoadedPlugin plugin;
        FilterRecord record{};
        record.sSPBasic = &basic;
        int16_t result = untouched;
        plugin.call(filterSelectorParameters, &record, &result);
        EXPECT_EQ(result, untouched);
    }
    EXPECT_EQ(GetModuleHandleA(pluginPath().c_str()), nullptr); // really unloaded
    EXPECT_EQ(acquireCalls, 0);
    EXPECT_EQ(releaseCalls, 0);
}
} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--plugin=", 0) == 0)
            setPluginPath(argument.substr(9));
        else if (argument.rfind("--cases=", 0) == 0)
            caseDirectory = windowsPath(argument.substr(8));
    }
    return RUN_ALL_TESTS();
}
