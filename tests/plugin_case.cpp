// Reading and writing pixel case files.
#include "plugin_case.h"

#include "sample_depth.h"
#include "test_host.h"

#include <cstring>
#include <fstream>

namespace {

constexpr int32_t caseMagic = 0x31435654; // "TVC1"

void put(std::ofstream& out, int32_t value) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    out.write(reinterpret_cast<const char*>(bytes), 4);
}

bool get(std::ifstream& in, int32_t& value) {
    uint8_t bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4))
        return false;
    value = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                    uint32_t(bytes[3]) << 24);
    return true;
}

} // namespace

size_t PluginCase::documentBytes() const {
    return size_t(width) * size_t(height) * pixelBytes(depth);
}

bool writePluginCase(const std::string& path, const PluginCase& c) {
    std::ofstream out(path, std::ios::binary);
    const int32_t fields[] = {caseMagic,
                              c.depth,
                              c.width,
                              c.height,
                              c.filterRect.top,
                              c.filterRect.left,
                              c.filterRect.bottom,
                              c.filterRect.right,
                              c.bigDocument ? 1 : 0,
                              c.rowPadding,
                              c.parameters.keyRed,
                              c.parameters.keyGreen,
                              c.parameters.keyBlue,
                              c.parameters.useColourKey ? 1 : 0,
                              c.parameters.smoothRange};
    for (int32_t field : fields)
        put(out, field);
    out.write(reinterpret_cast<const char*>(c.input.data()), std::streamsize(c.input.size()));
    out.write(reinterpret_cast<const char*>(c.expected.data()), std::streamsize(c.expected.size()));
    return bool(out);
}

bool readPluginCase(const std::string& path, PluginCase& c) {
    std::ifstream in(path, std::ios::binary);
    int32_t magic = 0, big = 0, useKey = 0;
    if (!get(in, magic) || magic != caseMagic)
        return false;
    int32_t* fields[] = {&c.depth,
                         &c.width,
                         &c.height,
                         &c.filterRect.top,
                         &c.filterRect.left,
                         &c.filterRect.bottom,
                         &c.filterRect.right,
                         &big,
                         &c.rowPadding,
                         &c.parameters.keyRed,
                         &c.parameters.keyGreen,
                         &c.parameters.keyBlue,
                         &useKey,
                         &c.parameters.smoothRange};
    for (int32_t* field : fields)
        if (!get(in, *field))
            return false;
    c.bigDocument = big != 0;
    c.parameters.useColourKey = useKey != 0;
    if ((c.depth != 8 && c.depth != 16) || c.width <= 0 || c.height <= 0)
        return false;
    c.input.resize(c.documentBytes());
    c.expected.resize(c.documentBytes());
    in.read(reinterpret_cast<char*>(c.input.data()), std::streamsize(c.input.size()));
    in.read(reinterpret_cast<char*>(c.expected.data()), std::streamsize(c.expected.size()));
    return bool(in);
}

namespace {

template <typename Sample>
OSErr runOnHost(const PluginCase& c, const std::function<OSErr(FilterRecord&)>& call,
                std::vector<uint8_t>& document) {
    TestHost<Sample> host(c.width, c.height);
    for (int32_t y = 0; y < c.height; ++y)
        for (int32_t x = 0; x < c.width; ++x)
            std::memcpy(host.at(x, y).data(),
                        c.input.data() +
                            (size_t(y) * size_t(c.width) + size_t(x)) * sizeof(Rgba<Sample>),
                        sizeof(Rgba<Sample>));
    host.filterRect = c.filterRect;
    host.bigDocument = c.bigDocument;
    host.rowPadding = c.rowPadding;
    const OSErr result = host.runWith(call);
    document.resize(c.documentBytes());
    std::memcpy(document.data(), host.result().data(), document.size());
    return result;
}

} // namespace

OSErr runPluginCase(const PluginCase& c, const std::function<OSErr(FilterRecord&)>& call,
                    std::vector<uint8_t>& document) {
    return withSampleType(c.depth, [&]<typename Sample>(SampleTag<Sample>) {
        return runOnHost<Sample>(c, call, document);
    });
}
