// Writing the JSON report.
#include "json_report.h"

#include "options.h"
#include "output_file.h"
#include "platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when the byte there does not start
// one. Overlong forms, surrogates and code points above U+10FFFF are not valid.
size_t utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

void appendEscape(std::string& out, unsigned code) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", code);
    out += escape;
}

std::string jsonOrNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec))
        return true;
    return newFileKey(a) == newFileKey(b);
}

bool writeAll(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

} // namespace

const char* statusName(FrameStatus status) {
    switch (status) {
    case FrameStatus::Smoothed:
        return "smoothed";
    case FrameStatus::Skipped:
        return "skipped";
    case FrameStatus::Failed:
        return "failed";
    case FrameStatus::NotStarted:
        break;
    }
    return "not-started";
}

std::string jsonString(const std::string& bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t length = utf8SequenceLength(bytes, i);
        if (length == 0) {
            appendEscape(out, 0xDC00u + c);
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(bytes, i, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            appendEscape(out, c);
        } else {
            out += char(c);
        }
        i += length;
    }
    return out + "\"";
}

std::string reportJson(const std::vector<FrameTask>& tasks, const std::vector<FrameRecord>& records,
                       const RunSummary& summary) {
    size_t counts[4] = {0, 0, 0, 0};
    size_t pixels = 0, changedPixels = 0;
    std::string frames;
    for (size_t i = 0; i < tasks.size() && i < records.size(); ++i) {
        const FrameTask& task = tasks[i];
        const FrameRecord& record = records[i];
        ++counts[size_t(record.status)];
        pixels += record.pixels;
        changedPixels += record.changedPixels;
        frames += frames.empty() ? "\n    " : ",\n    ";
        frames += "{\"input\": " + jsonString(task.input) +
                  ", \"output\": " + jsonOrNull(task.output) +
                  ", \"compare\": " + jsonOrNull(task.compare) + ", \"status\": \"" +
                  statusName(record.status) + "\", \"error\": " + jsonOrNull(record.error) +
                  ", \"note\": " + jsonOrNull(record.note) +
                  ", \"pixels\": " + std::to_string(record.pixels) +
                  ", \"changed_pixels\": " + std::to_string(record.changedPixels) +
                  ", \"seconds\": " + number(record.seconds) + "}";
    }
    const auto count = [&](FrameStatus status) { return std::to_string(counts[size_t(status)]); };
    std::string json = "{\n";
    json += "  \"program\": " + jsonString(programName) + ",\n";
    json += "  \"version\": " + jsonString(programVersion) + ",\n";
    json += std::string("  \"quality\": \"") + qualityName(summary.quality) + "\",\n";
    json += "  \"exit_status\": " + std::to_string(summary.exitStatus) + ",\n";
    json += std::string("  \"interrupted\": ") + (summary.interrupted ? "true" : "false") + ",\n";
    json += "  \"totals\": {\"frames\": " + std::to_string(tasks.size()) +
            ", \"smoothed\": " + count(FrameStatus::Smoothed) +
            ", \"skipped\": " + count(FrameStatus::Skipped) +
            ", \"failed\": " + count(FrameStatus::Failed) +
            ", \"not_started\": " + count(FrameStatus::NotStarted) +
            ", \"pixels\": " + std::to_string(pixels) +
            ", \"changed_pixels\": " + std::to_string(changedPixels) +
            ", \"seconds\": " + number(summary.seconds) + "},\n";
    json += "  \"frames\": [" + frames + (frames.empty() ? "]\n" : "\n  ]\n");
    return json + "}\n";
}

bool checkReportPath(const std::string& path, const std::vector<FrameTask>& tasks,
                     std::string& error) {
    if (path == "-")
        return true;
    // Any other name could be a frame of the shot that another chunk writes.
    std::string extension = utf8Name(pathFromUtf8(path).extension());
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".json") {
        error = "--report takes a file name ending in .json, or '-', not '" + path + "'";
        return false;
    }
    if (const std::string device = reservedDeviceName(path); !device.empty()) {
        error = "--report '" + path + "' names the Windows device '" + device +
                "', not a file: give it another name";
        return false;
    }
    const fs::path folder = pathFromUtf8(path).parent_path();
    std::error_code ec;
    if (fs::is_directory(pathFromUtf8(path), ec)) {
        error = "--report '" + path + "' is a folder";
        return false;
    }
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        error = "--report '" + path + "': the folder '" + utf8Name(folder) + "' does not exist";
        return false;
    }
    for (const FrameTask& task : tasks)
        for (const std::string* other : {&task.input, &task.output, &task.compare})
            if (!other->empty() && samePath(path, *other)) {
                error = "--report '" + path + "' is also '" + *other +
                        "', a frame or a result of this run";
                return false;
            }
    return true;
}

bool writeReport(const std::string& path, const std::string& json, std::string& error) {
    if (path == "-") {
        if (writeAll(stdout, json))
            return true;
        error = std::string("cannot write the report to standard output: ") + std::strerror(errno);
        return false;
    }
    return writeFileAtomically(
        path,
        [&json](TemporaryFile& temporary, std::string& reason) {
            if (!writeAll(temporary.stream, json)) {
                reason = std::string("cannot write: ") + std::strerror(errno);
                return false;
            }
            return true;
        },
        error);
}
