// Our own declarations of the Photoshop filter host interface: the records, callbacks, selectors,
// image modes and result codes this plug-in touches, binary compatible with the real host on
// 64-bit Windows. Portable: no Windows header, so the engine, the command-line host and the tests
// build them on any platform. On LP64 Linux the pointer and integer sizes equal Win64's, so the
// same offsets hold there too and the layout guards run in both builds.
#pragma once

#include <cstddef>
#include <cstdint>

using OSErr = int16_t;
using OSType = uint32_t;
using Fixed = int32_t;
using Boolean = uint8_t; // the host may store any byte value here, so not bool
using Ptr = char*;
using Handle = char**;
using SPErr = int32_t;

struct Point {
    int16_t v;
    int16_t h;
};

struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

struct VRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
};

struct VPoint {
    int32_t v;
    int32_t h;
};

struct PSRGBColor {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

using FilterColor = uint8_t[4];

struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

// The window that should own the plug-in's dialogs (an HWND on Windows).
struct PlatformData {
    intptr_t hwnd;
};

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    int32_t (*IsEqual)(const char* a, const char* b);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newBlock);
    SPErr (*Undefined)();
};

// Naturally aligned (56 bytes on Win64): the host declares it outside the packed region.
struct ColorServicesInfo {
    int32_t infoSize;
    int16_t selector;
    int16_t sourceSpace;
    int16_t resultSpace;
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    int16_t colorComponents[4];
    void* reserved;
    union {
        unsigned char (*pickerPrompt)[256];
        Point* globalSamplePoint;
        int32_t specialColorID;
    } selectorParameter;
};

struct AboutRecord {
    void* platformData; // PlatformData*
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

using AdvanceStateProc = OSErr (*)();
using ColorServicesProc = OSErr (*)(ColorServicesInfo* info);

// The host packs FilterRecord and BigDocumentStruct to 4 bytes on Windows, also on Win64, so the
// 8-byte pointers sit on 4-byte boundaries. Natural alignment would move every field after
// abortProc.
#pragma pack(push, 4)

struct BigDocumentStruct {
    int32_t PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

struct FilterRecord {
    int32_t serialNumber;
    Boolean (*abortProc)();
    void (*progressProc)(int32_t done, int32_t total);
    Handle parameters;
    Point imageSize;
    int16_t planes;
    Rect filterRect;
    PSRGBColor background;
    PSRGBColor foreground;
    int32_t maxSpace;
    int32_t bufferSpace;
    Rect inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    int32_t maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    void (*hostProc)(int16_t selector, intptr_t* data);
    int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    void* platformData; // PlatformData*
    void* bufferProcs;
    void* resourceProcs;
    void (*processEvent)(void* event);
    void* displayPixels;
    void* handleProcs;
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    void* getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16_t inputPadding;
    int16_t outputPadding;
    int16_t maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;
    int16_t absLayerPlanes;
    int16_t absTransparencyMask;
    int16_t absLayerMasks;
    int16_t absInvertedLayerMasks;
    int16_t absNonLayerPlanes;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;
    int32_t inColumnBytes;
    int32_t inPlaneBytes;
    int32_t outColumnBytes;
    int32_t outPlaneBytes;
    void* imageServicesProcs;
    void* propertyProcs;
    int16_t inTileHeight;
    int16_t inTileWidth;
    Point inTileOrigin;
    int16_t absTileHeight;
    int16_t absTileWidth;
    Point absTileOrigin;
    int16_t outTileHeight;
    int16_t outTileWidth;
    Point outTileOrigin;
    int16_t maskTileHeight;
    int16_t maskTileWidth;
    Point maskTileOrigin;
    void* descriptorParameters;
    void* errorString;
    void* channelPortProcs;
    void* documentInfo;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32_t depth;
    Handle iCCprofileData;
    int32_t iCCprofileSize;
    int32_t canUseICCProfiles;
    int32_t hasImageScrap;
    BigDocumentStruct* bigDocumentData;
    void* input3DScene;
    void* output3DScene;
    Boolean createNewLayer;
    Handle iCCWorkingProfileData;
    int32_t iCCWorkingProfileSize;
    int64_t bufferSpace64;
    int64_t maxSpace64;
    char reserved[46];
};

#pragma pack(pop)

enum FilterSelector : int16_t {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5,
};

enum PlugInImageMode : int16_t {
    plugInModeGrayScale = 1,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeLabColor = 9,
    plugInModeRGB48 = 11,
};

constexpr OSErr noErr = 0;
constexpr OSErr memFullErr = -108;
constexpr OSErr userCanceledErr = -128;
constexpr OSErr filterBadParameters = -30100;
constexpr OSErr filterBadMode = -30101;

constexpr int16_t plugIncolorServicesChooseColor = 0;
constexpr int16_t plugIncolorServicesConvertColor = 1;
constexpr int16_t plugIncolorServicesRGBSpace = 0;
constexpr int16_t plugIncolorServicesChosenSpace = -1;

#if INTPTR_MAX == INT64_MAX
// Win64 offsets of the host records. A wrong offset crashes the real host, so the layout is
// checked wherever pointers are 8 bytes (the Windows build and LP64 hosts alike).
static_assert(sizeof(Rect) == 8 && sizeof(VRect) == 16 && sizeof(Point) == 4);
static_assert(sizeof(PlugInMonitor) == 40 && sizeof(PlatformData) == 8);
static_assert(sizeof(SPBasicSuite) == 56 && offsetof(SPBasicSuite, ReleaseSuite) == 8);
static_assert(sizeof(ColorServicesInfo) == 56);
static_assert(offsetof(ColorServicesInfo, selector) == 4);
static_assert(offsetof(ColorServicesInfo, sourceSpace) == 6);
static_assert(offsetof(ColorServicesInfo, resultSpace) == 8);
static_assert(offsetof(ColorServicesInfo, reservedSourceSpaceInfo) == 16);
static_assert(offsetof(ColorServicesInfo, reservedResultSpaceInfo) == 24);
static_assert(offsetof(ColorServicesInfo, colorComponents) == 32);
static_assert(offsetof(ColorServicesInfo, reserved) == 40);
static_assert(offsetof(ColorServicesInfo, selectorParameter) == 48);
static_assert(sizeof(AboutRecord) == 272 && offsetof(AboutRecord, sSPBasic) == 8);
static_assert(offsetof(AboutRecord, plugInRef) == 16 && offsetof(AboutRecord, reserved) == 24);
static_assert(sizeof(BigDocumentStruct) == 92);
static_assert(offsetof(BigDocumentStruct, imageSize32) == 4);
static_assert(offsetof(BigDocumentStruct, filterRect32) == 12);
static_assert(offsetof(BigDocumentStruct, inRect32) == 28);
static_assert(offsetof(BigDocumentStruct, outRect32) == 44);
static_assert(offsetof(BigDocumentStruct, maskRect32) == 60);
static_assert(offsetof(BigDocumentStruct, floatCoord32) == 76);
static_assert(offsetof(BigDocumentStruct, wholeSize32) == 84);
static_assert(sizeof(FilterRecord) == 608);
static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(FilterRecord, progressProc) == 12);
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, imageSize) == 28);
static_assert(offsetof(FilterRecord, planes) == 32);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, background) == 42);
static_assert(offsetof(FilterRecord, foreground) == 48);
static_assert(offsetof(FilterRecord, maxSpace) == 56);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, inHiPlane) == 74);
static_assert(offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, outLoPlane) == 84);
static_assert(offsetof(FilterRecord, outHiPlane) == 86);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100);
static_assert(offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, isFloating) == 112);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124);
static_assert(offsetof(FilterRecord, maskRowBytes) == 132);
static_assert(offsetof(FilterRecord, backColor) == 136);
static_assert(offsetof(FilterRecord, foreColor) == 140);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, hostProc) == 148);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, imageHRes) == 160);
static_assert(offsetof(FilterRecord, imageVRes) == 164);
static_assert(offsetof(FilterRecord, floatCoord) == 168);
static_assert(offsetof(FilterRecord, wholeSize) == 172);
static_assert(offsetof(FilterRecord, monitor) == 176);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, bufferProcs) == 224);
static_assert(offsetof(FilterRecord, resourceProcs) == 232);
static_assert(offsetof(FilterRecord, processEvent) == 240);
static_assert(offsetof(FilterRecord, displayPixels) == 248);
static_assert(offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, supportsDummyChannels) == 264);
static_assert(offsetof(FilterRecord, wantLayout) == 266);
static_assert(offsetof(FilterRecord, filterCase) == 268);
static_assert(offsetof(FilterRecord, dummyPlaneValue) == 270);
static_assert(offsetof(FilterRecord, premiereHook) == 272);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, supportsAbsolute) == 288);
static_assert(offsetof(FilterRecord, getPropertyObsolete) == 292);
static_assert(offsetof(FilterRecord, cannotUndo) == 300);
static_assert(offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, samplingSupport) == 308);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, maskRate) == 316);
static_assert(offsetof(FilterRecord, colorServices) == 320);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 328);
static_assert(offsetof(FilterRecord, outPostDummyPlanes) == 364);
static_assert(offsetof(FilterRecord, inColumnBytes) == 368);
static_assert(offsetof(FilterRecord, outPlaneBytes) == 380);
static_assert(offsetof(FilterRecord, imageServicesProcs) == 384);
static_assert(offsetof(FilterRecord, propertyProcs) == 392);
static_assert(offsetof(FilterRecord, inTileHeight) == 400);
static_assert(offsetof(FilterRecord, maskTileOrigin) == 428);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432);
static_assert(offsetof(FilterRecord, errorString) == 440);
static_assert(offsetof(FilterRecord, channelPortProcs) == 448);
static_assert(offsetof(FilterRecord, documentInfo) == 456);
static_assert(offsetof(FilterRecord, sSPBasic) == 464);
static_assert(offsetof(FilterRecord, plugInRef) == 472);
static_assert(offsetof(FilterRecord, depth) == 480);
static_assert(offsetof(FilterRecord, iCCprofileData) == 484);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 492);
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 496);
static_assert(offsetof(FilterRecord, hasImageScrap) == 500);
static_assert(offsetof(FilterRecord, bigDocumentData) == 504);
static_assert(offsetof(FilterRecord, input3DScene) == 512);
static_assert(offsetof(FilterRecord, output3DScene) == 520);
static_assert(offsetof(FilterRecord, createNewLayer) == 528);
static_assert(offsetof(FilterRecord, iCCWorkingProfileData) == 532);
static_assert(offsetof(FilterRecord, iCCWorkingProfileSize) == 540);
static_assert(offsetof(FilterRecord, bufferSpace64) == 544);
static_assert(offsetof(FilterRecord, maxSpace64) == 552);
static_assert(offsetof(FilterRecord, reserved) == 560);
#endif
