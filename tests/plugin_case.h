// A pixel case shared by the native build and the Windows plug-in tests: a document, the filter
// rectangle, the options typed into the dialog, and the result the native pass computed for them.
// The file is a little-endian sequence of 32-bit fields followed by the two pixel arrays.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PluginCase {
    int32_t depth = 8; // 8 or 16 bits per sample
    int32_t width = 0, height = 0;
    VRect filterRect{};
    bool bigDocument = true;
    int32_t rowPadding = 0;
    FilterParameters parameters;
    std::vector<uint8_t> input;    // the document, row by row, four samples a pixel
    std::vector<uint8_t> expected; // the document after the pass, output written back

    size_t documentBytes() const;
};

bool writePluginCase(const std::string& path, const PluginCase& pluginCase);
// False when the file is missing, truncated or not a case file.
bool readPluginCase(const std::string& path, PluginCase& pluginCase);

// Sets up the test host as the case describes (document, filter rectangle, big-document data, row
// padding), lets call drive the pass and fills document with the pixels afterwards. Returns the
// call's result code.
OSErr runPluginCase(const PluginCase& pluginCase, const std::function<OSErr(FilterRecord&)>& call,
                    std::vector<uint8_t>& document);
