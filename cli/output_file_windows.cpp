// Temporary files beside the target, flushed to disk and moved into place with MoveFileExW.
#include "output_file.h"

#include "platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>

namespace {

constexpr char temporaryPrefix[] = ".tovrin-";
constexpr char temporarySuffix[] = ".tmp";

std::string describe(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? utf8Name(std::filesystem::path(std::wstring(text, length)))
                                     : "system error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

// The same names as on POSIX: hidden from sequence scans, of fixed length, apart between jobs
// (counter), runs (process id) and machines sharing a folder (random part); CREATE_NEW settles
// whatever collision remains.
std::string temporaryName() {
    static const uint32_t processSalt = std::random_device{}();
    static std::atomic<uint32_t> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, "%s%08lx%08x%08x%s", temporaryPrefix,
                  static_cast<unsigned long>(GetCurrentProcessId()), unsigned(processSalt),
                  unsigned(counter.fetch_add(1)), temporarySuffix);
    return name;
}

HANDLE createTemporary(const std::string& folder, std::string& temporary, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = utf8Name(pathFromUtf8(folder) / temporaryName());
        const HANDLE file =
            CreateFileW(pathFromUtf8(temporary).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = "cannot create a file in '" + folder + "': " + describe(code);
            return INVALID_HANDLE_VALUE;
        }
    }
    error = "cannot find a free temporary name in '" + folder + "'";
    return INVALID_HANDLE_VALUE;
}

// The bytes reach the disk before the move makes them the target's, so that a crash cannot
// leave the target's name on an empty file.
bool flushToDisk(std::FILE* stream, std::string& error) {
    if (std::fflush(stream) != 0 || std::ferror(stream)) {
        error = "cannot write: " + describe(GetLastError());
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!FlushFileBuffers(handle)) {
        error = "cannot write: " + describe(GetLastError());
        return false;
    }
    return true;
}

void removeTemporary(const std::string& temporary) {
    DeleteFileW(pathFromUtf8(temporary).c_str());
}

// As the file system compares names (its case table is Unicode's simple upper-casing).
std::wstring upperCase(const std::wstring& text) {
    if (text.empty())
        return text;
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                                     int(text.size()), nullptr, 0, nullptr, nullptr, 0);
    if (length <= 0)
        return text;
    std::wstring upper(size_t(length), L'\0');
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), int(text.size()),
                  upper.data(), length, nullptr, nullptr, 0);
    return upper;
}

// The absolute name Windows opens for path: '.' and '..' resolved, and the trailing dots and
// spaces it drops dropped (\\?\ names are taken as they are).
std::wstring fullPathName(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

// The device a file name names, upper-cased, or empty.
std::string reservedDevice(std::string name) {
    // Windows reads "con.png", "con .txt" and "CON:" as CON.
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (name == device)
            return name;
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0))
        return "";
    const std::string number = name.substr(3);
    // A digit, or a superscript one, two or three.
    const bool device = (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
                        number == "\u00b9" || number == "\u00b2" || number == "\u00b3";
    return device ? name : "";
}

} // namespace

std::string outputFolderOf(const std::string& target) {
    const std::filesystem::path parent = pathFromUtf8(target).parent_path();
    return parent.empty() ? std::string(".") : utf8Name(parent);
}

bool isTemporaryName(const std::string& name) {
    const size_t prefix = sizeof temporaryPrefix - 1, suffix = sizeof temporarySuffix - 1;
    return name.size() > prefix + suffix && name.compare(0, prefix, temporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, temporarySuffix) == 0;
}

// The volume's serial number and the file's index name one file whatever the spelling (case,
// short names, links, '..').
FileIdentity identifyFile(const std::string& path) {
    const HANDLE handle = CreateFileW(pathFromUtf8(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    if (!known)
        return {true, false, false, "path " + path};
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const unsigned long long index =
        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return {true, !folder && type == FILE_TYPE_DISK, folder,
            std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index)};
}

bool writeFileAtomically(const std::string& target, const FileWriter& write, std::string& error) {
    const std::string folder = outputFolderOf(target);
    TemporaryFile file;
    const HANDLE handle = createTemporary(folder, file.path, error);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    file.stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (file.stream == nullptr) {
        error = "cannot write: cannot open the temporary as a stream";
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(handle);
        removeTemporary(file.path);
        return false;
    }

    bool ok = false;
    try {
        ok = write(file, error) && flushToDisk(file.stream, error);
    } catch (...) {
        std::fclose(file.stream);
        removeTemporary(file.path);
        throw;
    }
    if (std::fclose(file.stream) != 0 && ok) {
        error = "cannot write: " + describe(GetLastError());
        ok = false;
    }
    if (!ok) {
        removeTemporary(file.path);
        return false;
    }
    if (!MoveFileExW(pathFromUtf8(file.path).c_str(), pathFromUtf8(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error =
            "cannot move the new file into place as '" + target + "': " + describe(GetLastError());
        removeTemporary(file.path);
        return false;
    }
    return true;
}

std::string newFileKey(const std::string& path) {
    if (path.find('\0') != std::string::npos)
        return path;
    const std::filesystem::path full(fullPathName(pathFromUtf8(path).native()));
    // The deepest folder that exists, by its identity (links, short names, any case), and the
    // rest of the name upper-cased.
    std::filesystem::path existing = full.parent_path();
    std::wstring rest = full.filename().native();
    while (!existing.empty()) {
        const FileIdentity folder = identifyFile(utf8Name(existing));
        if (folder.exists)
            return "in " + folder.id + " " + utf8Name(upperCase(rest));
        const std::filesystem::path parent = existing.parent_path();
        if (parent == existing)
            break;
        rest = existing.filename().native() + L"\\" + rest;
        existing = parent;
    }
    return utf8Name(upperCase(full.native()));
}

std::string reservedDeviceName(const std::string& path) {
    for (const std::filesystem::path& part : pathFromUtf8(path).relative_path()) {
        const std::string device = reservedDevice(utf8Name(part));
        if (!device.empty())
            return device;
    }
    return "";
}
