// Temporary files beside the target, moved into place with MoveFileExW.
#include "output_file.h"

#include "platform.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace {

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

std::string folderOf(const std::filesystem::path& target) {
    const std::filesystem::path parent = target.parent_path();
    return parent.empty() ? std::string(".") : utf8Name(parent);
}

// A name starting with a dot in the target's folder, so that the move never crosses volumes and
// a sequence scan of that folder never picks the temporary up. CREATE_NEW makes it ours alone;
// the counter and process id make collisions between jobs and concurrent runs rare.
bool createTemporary(const std::filesystem::path& target, std::filesystem::path& temporary,
                     std::string& error) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = L".";
        name += target.filename().native();
        name += L".tovrin-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++);
        temporary = target.parent_path() / name;
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = "cannot create a file in '" + folderOf(target) + "': " + describe(code);
            return false;
        }
    }
    error = "cannot find a free temporary name in '" + folderOf(target) + "'";
    return false;
}

// The codec closed the file, which leaves its bytes in the system's cache; they reach the disk
// before the move does, so that a crash cannot leave the target name on an empty file.
bool flushToDisk(const std::filesystem::path& file) {
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
}

} // namespace

bool writeFileAtomically(const std::string& target,
                         const std::function<bool(const std::string&, std::string&)>& write,
                         std::string& error) {
    const std::filesystem::path targetPath = pathFromUtf8(target);
    std::filesystem::path temporary;
    if (!createTemporary(targetPath, temporary, error))
        return false;
    if (!write(utf8Name(temporary), error)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!flushToDisk(temporary)) {
        error = "cannot write '" + utf8Name(temporary) + "': " + describe(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), targetPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error =
            "cannot move the new file into place as '" + target + "': " + describe(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
