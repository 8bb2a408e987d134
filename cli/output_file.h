// Output files that appear whole or not at all: every file is written to a temporary beside its
// target, flushed to disk and renamed over the target only once it is complete, so that neither
// a failure nor a power loss ever leaves less than the old file or the new one.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// The temporary a writer fills. stream is open for writing at its start, positioned at 0, and
// stays owned by writeFileAtomically: write through it and never close it. path names the same
// file, for the few writers that can only open a file by name; such a writer must write that
// file in place (truncating it is fine), and writeFileAtomically checks afterwards that the name
// still leads to the file it created.
struct TemporaryFile {
    std::FILE* stream = nullptr;
    std::string path;
};

using FileWriter = std::function<bool(TemporaryFile& file, std::string& error)>;

// Writes the file at target through write(file, error). On success the new file's bytes and its
// folder entry have reached the disk. On any failure the temporary is removed, an existing target
// is left as it was, and error says why. A target that exists keeps its permission bits and,
// where the process may set them, its owner and group.
bool writeFileAtomically(const std::string& target, const FileWriter& write, std::string& error);

// The folder a temporary for target is created in ("." for a bare name).
std::string outputFolderOf(const std::string& target);

// Whether name is one writeFileAtomically gives its temporaries (a file name, without folder).
bool isTemporaryName(const std::string& name);

// What a name leads to, for telling whether two names are one file (links, '..', other
// spellings): id is equal for two names exactly when they lead to one existing file.
struct FileIdentity {
    bool exists = false;
    bool regular = false;
    bool folder = false;
    std::string id; // empty when the file does not exist
};
FileIdentity identifyFile(const std::string& path);

// What a name that does not exist yet would be called once created, for telling whether two
// such names are one file: equal for two names exactly when creating one creates the other. The
// absolute path with its existing folders resolved (links, '..'); on Windows the deepest existing
// folder's identity and the rest of the name as Windows compares names: case-insensitively, after
// dropping the trailing dots and spaces it drops.
std::string newFileKey(const std::string& path);

// The device name reserved by Windows (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and their kin) that a
// component of path is, as Windows reads names (any case, any extension, trailing spaces): such
// a name opens the device, not a file. Empty when there is none, and always on POSIX.
std::string reservedDeviceName(const std::string& path);
