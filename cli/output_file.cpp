// Temporary files beside the target, renamed into place.
#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A hidden name in the target's folder, so that the rename never crosses file systems and a
// sequence scan of that folder never picks the temporary up. O_EXCL makes it ours alone; the
// counter and pid make collisions between jobs and concurrent runs rare.
int createTemporary(const std::string& target, std::string& temporary, std::string& error) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path targetPath(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".";
        name += targetPath.filename().string();
        name += ".tovrin-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        temporary = (targetPath.parent_path() / name).string();
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            error = "cannot create a file in '" + folderOf(target) + "': " + std::strerror(errno);
            return -1;
        }
    }
    error = "cannot find a free temporary name in '" + folderOf(target) + "'";
    return -1;
}

} // namespace

bool writeFileAtomically(const std::string& target,
                         const std::function<bool(const std::string&, std::string&)>& write,
                         std::string& error) {
    std::string temporary;
    const int fd = createTemporary(target, temporary, error);
    if (fd < 0)
        return false;
    // Replacing a file keeps its permissions; a new file gets the umask's, as open gave it.
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        fchmod(fd, existing.st_mode & 07777);
    close(fd);

    if (!write(temporary, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot move the new file into place as '" + target + "': " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
