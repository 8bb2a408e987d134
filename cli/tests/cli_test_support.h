// Helpers for the tests of tovrin-smooth: temporary folders, running the binary, and image files
// read and written sample for sample.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> names() const; // sorted, hidden files included

    std::string path;
};

struct RunResult {
    int status = -1; // exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs command followed by args, in folder cwd when given, with no standard input. pid, when
// given, receives the process id as soon as it runs, for signalling it from another thread.
RunResult runCommand(const std::vector<std::string>& command, const std::vector<std::string>& args,
                     const std::string& cwd = "", std::atomic<int>* pid = nullptr);

// The argument vector execv wants: pointers into strings, which must outlive it, then a null.
std::vector<char*> execArgv(std::vector<std::string>& strings);

// The tovrin-smooth built beside the tests.
std::vector<std::string> nativeSmoothCommand();
// The tovrin-smooth under test: the one TOVRIN_SMOOTH_EXE names, run through the program
// TOVRIN_SMOOTH_LAUNCHER names (the Windows build under wine), else the native one.
std::vector<std::string> smoothCommand();
bool testingAnotherBuild(); // whether TOVRIN_SMOOTH_EXE is set

// Runs the tovrin-smooth under test with args, as runCommand.
RunResult runSmooth(const std::vector<std::string>& args, const std::string& cwd = "",
                    std::atomic<int>* pid = nullptr);

// Samples of an image file as stored (8-bit ones widened), colour never premultiplied.
struct ImageSamples {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bits = 8; // 8 or 16
    std::vector<uint16_t> samples;

    uint16_t at(int x, int y, int c) const {
        return samples[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)];
    }
    uint16_t& at(int x, int y, int c) {
        return samples[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)];
    }
};

// Throws when the file cannot be read.
ImageSamples readSamplesOrDie(const std::string& path);
// Writes with alpha as the last channel when there are 2 or 4 channels; withExif adds an Exif
// colour-space tag, as cameras and most image tools write one.
void writeSamples(const std::string& path, const ImageSamples& image, bool withExif = false);

// Channels of an image picked into a new one, in the order given.
ImageSamples pickChannels(const ImageSamples& image, const std::vector<int>& channels);

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

std::string goldenFolder();
std::string manPagePath();
