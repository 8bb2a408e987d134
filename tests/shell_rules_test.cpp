// The options dialog's acceptance rules, the colour picker request and answer, the placement of
// dialogs and the host suite table, checked without a window system.
#include "dialog_placement.h"
#include "host_suites.h"
#include "options_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

EditReading number(int32_t value) {
    return EditReading{value, true};
}
const EditReading notANumber{0, false};

struct OkCase {
    const char* name;
    OptionsReadings readings;
    // Expected record afterwards, starting from the defaults 255, 255, 255, 0.
    int32_t red, green, blue, range;
    bool resetRed, resetGreen, resetBlue, resetRange, ends;
};

TEST(OptionsRules, OkStoresAcceptedValuesAndResetsRefusedOnes) {
    // clang-format off
    const OkCase cases[] = {
        {"all valid", {number(10), number(20), number(30), number(5)},
         10, 20, 30, 5, false, false, false, false, true},
        {"limits", {number(0), number(255), number(0), number(255)},
         0, 255, 0, 255, false, false, false, false, true},
        {"red too large", {number(300), number(20), number(30), number(5)},
         255, 20, 30, 5, true, false, false, false, false},
        {"negative red", {number(-1), number(20), number(30), number(5)},
         255, 20, 30, 5, true, false, false, false, false},
        {"range too large", {number(1), number(2), number(3), number(256)},
         1, 2, 3, 0, false, false, false, true, false},
        {"empty range", {number(1), number(2), number(3), notANumber},
         1, 2, 3, 0, false, false, false, true, false},
        {"every value refused", {notANumber, number(-5), number(1000), number(-1)},
         255, 255, 255, 0, true, true, true, true, false},
        {"blue just past the limit", {number(0), number(0), number(256), number(0)},
         0, 0, 255, 0, false, false, true, false, false},
    };
    // clang-format on
    for (const OkCase& c : cases) {
        SCOPED_TRACE(c.name);
        FilterParameters parameters;
        const OkOutcome outcome = applyOk(parameters, c.readings);
        EXPECT_EQ(parameters.keyRed, c.red);
        EXPECT_EQ(parameters.keyGreen, c.green);
        EXPECT_EQ(parameters.keyBlue, c.blue);
        EXPECT_EQ(parameters.smoothRange, c.range);
        EXPECT_EQ(outcome.resetKeyRed, c.resetRed);
        EXPECT_EQ(outcome.resetKeyGreen, c.resetGreen);
        EXPECT_EQ(outcome.resetKeyBlue, c.resetBlue);
        EXPECT_EQ(outcome.resetSmoothRange, c.resetRange);
        EXPECT_EQ(outcome.endDialog, c.ends);
        EXPECT_FALSE(parameters.useColourKey);
    }
}

TEST(OptionsRules, ARefusedValueKeepsWhatAnEarlierOkAccepted) {
    FilterParameters parameters;
    applyOk(parameters, {number(40), number(50), number(60), number(7)});
    const OkOutcome outcome = applyOk(parameters, {number(999), number(51), number(61), number(8)});
    EXPECT_TRUE(outcome.resetKeyRed);
    EXPECT_FALSE(outcome.endDialog);
    EXPECT_EQ(parameters.keyRed, 40);
    EXPECT_EQ(parameters.keyGreen, 51);
    EXPECT_EQ(parameters.smoothRange, 8);
}

TEST(OptionsRules, ThePickerIsAskedForAnRgbColourStartingOnBlack) {
    const ColorServicesInfo info = chooseColourRequest();
    EXPECT_EQ(info.infoSize, 56); // the record's size the 64-bit host expects
    EXPECT_EQ(info.selector, 0);  // choose a colour
    EXPECT_EQ(info.sourceSpace, 0);
    EXPECT_EQ(info.resultSpace, 0);
    for (int16_t component : info.colorComponents)
        EXPECT_EQ(component, 0);
    // The host refuses the request unless these are null.
    EXPECT_EQ(info.reservedSourceSpaceInfo, nullptr);
    EXPECT_EQ(info.reservedResultSpaceInfo, nullptr);
    EXPECT_EQ(info.reserved, nullptr);
    EXPECT_EQ(info.selectorParameter.pickerPrompt, nullptr);
}

TEST(OptionsRules, APickedColourBecomesTheKeyOnlyWhenThePickerSucceeds) {
    ColorServicesInfo answer = chooseColourRequest();
    answer.colorComponents[0] = 10;
    answer.colorComponents[1] = 20;
    answer.colorComponents[2] = 30;
    answer.colorComponents[3] = 99;
    for (OSErr code : {OSErr{0}, userCanceledErr, OSErr{-50}}) {
        FilterParameters parameters;
        EXPECT_EQ(takePickedColour(parameters, code, answer), code == 0);
        EXPECT_EQ(parameters.keyRed, code == 0 ? 10 : 255);
        EXPECT_EQ(parameters.keyGreen, code == 0 ? 20 : 255);
        EXPECT_EQ(parameters.keyBlue, code == 0 ? 30 : 255);
        EXPECT_FALSE(parameters.useColourKey);
    }
}

struct PlacementCase {
    const char* name;
    PlacementInput input;
    int32_t x, y;
};

TEST(DialogPlacement, CentresOverTheParentLessTheCaptionAllowance) {
    // Reference (left, top, width, height), dialog (width, height), caption button, system menu,
    // screen (width, height). Worked by hand: allowance 18 - 18/3 = 12 without a system menu.
    // clang-format off
    const PlacementCase cases[] = {
        {"centred", {100, 50, 800, 600, 300, 200, 18, false, 1920, 1080}, 338, 183},
        {"with system menu", {100, 50, 800, 600, 300, 200, 18, true, 1920, 1080}, 332, 183},
        {"odd free space truncates", {0, 0, 301, 302, 100, 100, 19, false, 1920, 1080}, 87, 67},
        {"parent narrower than dialog", {400, 300, 200, 100, 300, 200, 18, false, 1920, 1080},
         388, 300},
        {"near the right edge", {1700, 0, 400, 400, 300, 200, 18, false, 1920, 1080}, 1620, 66},
        {"near the bottom edge", {0, 1000, 400, 400, 300, 200, 18, false, 1920, 1080}, 38, 880},
        {"dialog wider than screen", {0, 0, 800, 600, 900, 200, 18, false, 640, 480}, 0, 133},
        {"off the left edge stays", {-500, 0, 100, 100, 300, 200, 18, false, 1920, 1080},
         -512, 0},
    };
    // clang-format on
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DialogPosition position = centredPosition(c.input);
        EXPECT_EQ(position.x, c.x);
        EXPECT_EQ(position.y, c.y);
    }
}

// A basic suite that records what the plug-in asks of it.
struct SuiteLog {
    std::vector<std::string> acquired, released;
    std::vector<int32_t> releasedVersions;
};
SuiteLog suiteLog;
int fakeSuite = 0;

SPErr acquire(const char* name, int32_t, const void** suite) {
    suiteLog.acquired.push_back(name);
    *suite = &fakeSuite;
    return 0;
}

SPErr release(const char* name, int32_t version) {
    suiteLog.released.push_back(name);
    suiteLog.releasedVersions.push_back(version);
    return 0;
}

class HostSuites : public ::testing::Test {
  protected:
    void SetUp() override {
        suiteLog = SuiteLog{};
        basic.AcquireSuite = acquire;
        basic.ReleaseSuite = release;
        suiteAccess = &basic;
    }
    void TearDown() override {
        for (HostSuite& record : hostSuites)
            record.suite = nullptr;
        suiteAccess = nullptr;
    }
    SPBasicSuite basic{};
};

TEST_F(HostSuites, NothingIsReleasedThatWasNeverAcquired) {
    for (HostSuite& record : hostSuites)
        releaseHostSuite(record);
    EXPECT_TRUE(suiteLog.released.empty());
}

TEST_F(HostSuites, AnAcquiredSuiteIsReleasedOnceUnderItsNameAndVersion) {
    HostSuite& fileList = hostSuites[10];
    ASSERT_STREQ(fileList.name, "Photoshop GetFileList Suite for Plug-ins");
    EXPECT_EQ(acquireHostSuite(fileList), &fakeSuite);
    EXPECT_EQ(acquireHostSuite(fileList), &fakeSuite);
    EXPECT_EQ(suiteLog.acquired.size(), 1u);
    releaseHostSuite(fileList);
    releaseHostSuite(fileList);
    ASSERT_EQ(suiteLog.released.size(), 1u);
    EXPECT_EQ(suiteLog.released[0], fileList.name);
    EXPECT_EQ(suiteLog.releasedVersions[0], 4);
    EXPECT_EQ(fileList.suite, nullptr);
}

TEST_F(HostSuites, WithoutTheHostsBasicSuiteNothingIsCalled) {
    HostSuite& runtime = hostSuites[15];
    EXPECT_EQ(acquireHostSuite(runtime), &fakeSuite);
    suiteAccess = nullptr;
    releaseHostSuite(runtime);
    EXPECT_TRUE(suiteLog.released.empty());
    EXPECT_EQ(acquireHostSuite(hostSuites[0]), nullptr);
}

} // namespace
