// Choosing a codec, and loading the OpenImageIO module the first time one is needed.
#include "image_codec.h"

#include "png_codec.h"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>

#ifndef TOVRIN_OIIO_MODULE
#error "TOVRIN_OIIO_MODULE must name the OpenImageIO codec module"
#endif

namespace {

namespace fs = std::filesystem;

// Beside the binary in the build tree; in lib/tovrin-smooth/ once installed.
std::vector<fs::path> moduleCandidates() {
    std::error_code ec;
    const fs::path binaryFolder = fs::read_symlink("/proc/self/exe", ec).parent_path();
    return {binaryFolder / TOVRIN_OIIO_MODULE,
            binaryFolder / ".." / "lib" / "tovrin-smooth" / TOVRIN_OIIO_MODULE};
}

struct LoadedModule {
    const ImageCodec* codec = nullptr;
    std::string failure;
};

LoadedModule loadOiioModule() {
    LoadedModule loaded;
    loaded.failure = "the OpenImageIO module " TOVRIN_OIIO_MODULE " was not found";
    for (const fs::path& candidate : moduleCandidates()) {
        std::error_code ec;
        if (!fs::exists(candidate, ec))
            continue;
        // Never closed: codecs hand out metadata whose destructor lives in the module.
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            loaded.failure = std::string("cannot load the OpenImageIO module: ") + dlerror();
            return loaded;
        }
        using Entry = const ImageCodec* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(module, TOVRIN_OIIO_CODEC_ENTRY));
        if (entry == nullptr) {
            loaded.failure = "the OpenImageIO module has no codec entry";
            return loaded;
        }
        loaded.codec = entry();
        return loaded;
    }
    return loaded;
}

const ImageCodec* oiioCodec(std::string& error) {
    static std::once_flag once;
    static LoadedModule loaded;
    std::call_once(once, [] { loaded = loadOiioModule(); });
    if (loaded.codec == nullptr)
        error = loaded.failure;
    return loaded.codec;
}

} // namespace

const ImageCodec* codecForReading(const std::string& path, std::string& error) {
    return isPngFile(path) ? &pngCodec() : oiioCodec(error);
}

const ImageCodec* codecForWriting(const std::string& path, std::string& error) {
    return hasPngExtension(path) ? &pngCodec() : oiioCodec(error);
}
