// Temporary files beside the target, synced to disk and renamed into place (POSIX).
#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char temporaryPrefix[] = ".tovrin-";
constexpr char temporarySuffix[] = ".tmp";

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A hidden name of fixed length in the target's folder: the rename never crosses file systems,
// a sequence scan of the folder never picks it up, and however long the target's name is (up to
// the file system's limit) the temporary's name fits. The process id and a per-process counter
// keep jobs of one run and runs on one machine apart; the random part keeps apart runs on
// several machines writing one shared folder, whose process ids may coincide; O_EXCL settles
// whatever collision remains.
std::string temporaryName() {
    static const uint32_t processSalt = std::random_device{}();
    static std::atomic<uint32_t> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, "%s%08x%08x%08x%s", temporaryPrefix, unsigned(getpid()),
                  unsigned(processSalt), unsigned(counter.fetch_add(1)), temporarySuffix);
    return name;
}

int createTemporary(const std::string& folder, std::string& temporary, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = (std::filesystem::path(folder) / temporaryName()).string();
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            error = systemError("cannot create a file in '" + folder + "'");
            return -1;
        }
    }
    error = "cannot find a free temporary name in '" + folder + "'";
    return -1;
}

// Replacing a file keeps its permission bits and, where allowed, its owner and group; a new file
// gets the umask's bits, as open gave them. The owner goes first: changing it clears set-id bits.
void keepAttributesOf(const std::string& target, int fd) {
    struct stat existing;
    if (stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode))
        return;
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0)
        (void)!fchown(fd, uid_t(-1), existing.st_gid); // not root: at least the group, if ours
    fchmod(fd, existing.st_mode & 07777);
}

// The bytes must be on disk before the rename makes them the target's, or a power loss could
// leave an empty file under the target's name. A writer that wrote by name must have written
// the file we created, not something put in its place.
bool flushToDisk(std::FILE* stream, const std::string& temporary, std::string& error) {
    if (std::fflush(stream) != 0 || std::ferror(stream)) {
        error = systemError("cannot write");
        return false;
    }
    const int fd = fileno(stream);
    struct stat opened, named;
    if (fstat(fd, &opened) != 0 || lstat(temporary.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        error = "the temporary file '" + temporary + "' was replaced while it was written";
        return false;
    }
    if (fsync(fd) != 0) {
        error = systemError("cannot write");
        return false;
    }
    return true;
}

// Makes the rename itself survive a power loss.
bool syncFolder(const std::string& folder, std::string& error) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = systemError("cannot open the folder '" + folder + "' to sync it");
        return false;
    }
    // Some file systems cannot sync a folder and say so; their renames are as safe as they get.
    const bool ok = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    if (!ok)
        error = systemError("the new file is in place, but its folder could not be synced");
    close(fd);
    return ok;
}

} // namespace

std::string outputFolderOf(const std::string& target) {
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

bool isTemporaryName(const std::string& name) {
    const size_t prefix = sizeof temporaryPrefix - 1, suffix = sizeof temporarySuffix - 1;
    return name.size() > prefix + suffix && name.compare(0, prefix, temporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, temporarySuffix) == 0;
}

FileIdentity identifyFile(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return {};
    return {true, S_ISREG(status.st_mode), S_ISDIR(status.st_mode),
            std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino)};
}

bool writeFileAtomically(const std::string& target, const FileWriter& write, std::string& error) {
    const std::string folder = outputFolderOf(target);
    TemporaryFile file;
    const int fd = createTemporary(folder, file.path, error);
    if (fd < 0)
        return false;
    keepAttributesOf(target, fd);
    file.stream = fdopen(fd, "wb");
    if (file.stream == nullptr) {
        error = systemError("cannot write");
        close(fd);
        unlink(file.path.c_str());
        return false;
    }

    bool ok = false;
    try {
        ok = write(file, error) && flushToDisk(file.stream, file.path, error);
    } catch (...) {
        std::fclose(file.stream);
        unlink(file.path.c_str());
        throw;
    }
    if (std::fclose(file.stream) != 0 && ok) {
        error = systemError("cannot write");
        ok = false;
    }
    if (!ok) {
        unlink(file.path.c_str());
        return false;
    }
    if (std::rename(file.path.c_str(), target.c_str()) != 0) {
        error = systemError("cannot move the new file into place as '" + target + "'");
        unlink(file.path.c_str());
        return false;
    }
    return syncFolder(folder, error);
}

std::string newFileKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    return (ec ? absolute.lexically_normal() : canonical).string();
}

std::string reservedDeviceName(const std::string&) {
    return "";
}
