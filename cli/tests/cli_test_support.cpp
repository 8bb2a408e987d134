// Test helpers: processes, folders and image files.
#include "cli_test_support.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tovrin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // A test may have made a folder read-only.
    for (const auto& entry : fs::recursive_directory_iterator(path, ec))
        if (entry.is_directory(ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

std::vector<std::string> TempFolder::names() const {
    std::vector<std::string> result;
    for (const auto& entry : fs::directory_iterator(path))
        result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

std::vector<std::string> nativeSmoothCommand() {
    return {TOVRIN_SMOOTH_BINARY};
}

bool testingAnotherBuild() {
    const char* exe = std::getenv("TOVRIN_SMOOTH_EXE");
    return exe != nullptr && *exe != '\0';
}

std::vector<std::string> smoothCommand() {
    if (!testingAnotherBuild())
        return nativeSmoothCommand();
    std::vector<std::string> command;
    const char* launcher = std::getenv("TOVRIN_SMOOTH_LAUNCHER");
    if (launcher != nullptr && *launcher != '\0')
        command.push_back(launcher);
    command.push_back(std::getenv("TOVRIN_SMOOTH_EXE"));
    return command;
}

std::vector<char*> execArgv(std::vector<std::string>& strings) {
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

RunResult runSmooth(const std::vector<std::string>& args, const std::string& cwd,
                    std::atomic<int>* started) {
    return runCommand(smoothCommand(), args, cwd, started);
}

RunResult runCommand(const std::vector<std::string>& command, const std::vector<std::string>& args,
                     const std::string& cwd, std::atomic<int>* started) {
    TempFolder capture;
    const std::string outPath = capture / "stdout";
    const std::string errPath = capture / "stderr";
    std::vector<std::string> argvStrings = command;
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = execArgv(argvStrings);

    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || (!cwd.empty() && chdir(cwd.c_str()) != 0))
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (started != nullptr)
        started->store(pid);
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = readBytes(outPath);
    result.err = readBytes(errPath);
    return result;
}

ImageSamples readSamplesOrDie(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw std::runtime_error("cannot read " + path + ": " + OIIO::geterror());
    const OIIO::ImageSpec& spec = input->spec();
    ImageSamples image{
        spec.width, spec.height, spec.nchannels, spec.format == OIIO::TypeDesc::UINT8 ? 8 : 16, {}};
    image.samples.resize(spec.image_pixels() * size_t(spec.nchannels));
    // Read as 16 bits, then undo the widening for 8-bit files: 8-bit samples are kept as they are.
    if (!input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, image.samples.data()))
        throw std::runtime_error("cannot read " + path + ": " + input->geterror());
    if (image.bits == 8)
        for (uint16_t& sample : image.samples)
            sample = uint16_t(sample / 257);
    return image;
}

void writeSamples(const std::string& path, const ImageSamples& image, bool withExif) {
    const OIIO::TypeDesc type = image.bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    OIIO::ImageSpec spec(image.width, image.height, image.channels, type);
    spec.alpha_channel = image.channels == 2 || image.channels == 4 ? image.channels - 1 : -1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (withExif)
        spec.attribute("Exif:ColorSpace", 1);
    std::vector<uint8_t> bytes;
    const void* data = image.samples.data();
    if (image.bits == 8) {
        bytes.assign(image.samples.begin(), image.samples.end());
        data = bytes.data();
    }
    auto output = OIIO::ImageOutput::create(path);
    if (!output || !output->open(path, spec) || !output->write_image(type, data) ||
        !output->close())
        throw std::runtime_error("cannot write " + path);
}

ImageSamples pickChannels(const ImageSamples& image, const std::vector<int>& channels) {
    ImageSamples picked = image;
    picked.channels = int(channels.size());
    picked.samples.clear();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c : channels)
                picked.samples.push_back(image.at(x, y, c));
    return picked;
}

std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string goldenFolder() {
    return TOVRIN_GOLDEN_DIR;
}
std::string manPagePath() {
    return TOVRIN_MAN_PAGE;
}
