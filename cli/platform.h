// What differs between POSIX and Windows, behind one interface. Everywhere else a path is a
// UTF-8 std::string; it meets the operating system only through these functions, so that on
// Windows no name ever passes through the ANSI code page.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Standard descriptors (0, 1, 2) that the process was started without, closed by `2>&-` or by a
// daemon or farm wrapper, get the null device, opened for reading only. Called first, before
// anything is opened: otherwise the next file opened (a frame's temporary) would take the
// closed number, and the messages, progress bar or report meant for it would land in that file.
// Writes to such a descriptor still fail, as they did on the closed one. False when the null
// device cannot be opened; nothing may run then.
bool occupyClosedStandardDescriptors();

// The program's arguments as UTF-8, argv[0] included. On Windows they are read from the wide
// command line (argv holds them in the ANSI code page) and the console is set to print UTF-8.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// A path from its UTF-8 name, and back.
std::filesystem::path pathFromUtf8(const std::string& name);
std::string utf8Name(const std::filesystem::path& path);

// fopen for a UTF-8 name.
std::FILE* openFile(const std::string& name, const char* mode);

// Whether stream is a terminal that can show the progress bar, and its width in columns.
bool isTerminal(std::FILE* stream);
int terminalColumns(std::FILE* stream); // 80 when unknown

// The first Ctrl-C (or termination request) sets stop; the second, of either kind, ends the
// process as usual.
void stopOnInterrupt(std::atomic<bool>& stop);

// A reader that goes away (tovrin-smooth ... 2>&1 | head) must not end the run between the
// writing of a temporary and its rename: writes to the closed pipe fail with an error instead,
// and the frames are still done. (Windows has no such signal: there they fail already.)
void ignoreBrokenPipes();

// Memory for a frame-sized result, its pages populated in one call where the system allows it;
// null when there is not enough. Contents undefined.
void* allocateFrameMemory(size_t bytes);
void releaseFrameMemory(void* memory, size_t bytes);
