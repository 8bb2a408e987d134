// Progress bar, messages and summary.
#include "progress.h"

#include "options.h"
#include "platform.h"

#include <cmath>

namespace {

// Redrawing more often only costs terminal time.
constexpr auto redrawInterval = std::chrono::milliseconds(100);

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void clearBar(RunReport& report) {
    if (report.barShown) {
        std::fputs("\r\033[K", report.stream);
        report.barShown = false;
    }
}

void drawBar(RunReport& report) {
    const auto now = std::chrono::steady_clock::now();
    if (report.done != report.total && now - report.lastDraw < redrawInterval)
        return;
    report.lastDraw = now;
    const std::string line = progressLine(report.done, report.total, secondsSince(report.start),
                                          terminalColumns(report.stream) - 1);
    std::fprintf(report.stream, "\r%s\033[K", line.c_str());
    std::fflush(report.stream);
    report.barShown = true;
}

std::string formatRate(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, rate >= 10 ? "%.0f" : "%.1f", rate);
    return text;
}

} // namespace

std::string formatDuration(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ldh%02ldm", total / 3600, total / 60 % 60);
    else if (total >= 60)
        std::snprintf(text, sizeof text, "%ldm%02lds", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lds", total);
    return text;
}

std::string groupThousands(size_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string progressLine(size_t done, size_t total, double seconds, int columns) {
    std::string counts(1, ' ');
    counts += std::to_string(done) + "/" + std::to_string(total) + " frames";
    if (done > 0 && seconds > 0) {
        const double rate = double(done) / seconds;
        counts += "  " + formatRate(rate) + " frames/s";
        if (done < total)
            counts += "  " + formatDuration(double(total - done) / rate) + " left";
    }
    const int barWidth = std::min(40, columns - int(counts.size()) - 2);
    if (barWidth < 5)
        return counts.substr(1, size_t(std::max(0, columns)));
    const int filled = total == 0 ? barWidth : int(size_t(barWidth) * done / total);
    std::string line(1, '[');
    line.append(size_t(filled), '#');
    line.append(size_t(barWidth - filled), '.');
    line += ']';
    return line + counts;
}

void reportFrame(RunReport& report, const FrameTask& task, const FrameOutcome& outcome) {
    std::lock_guard<std::mutex> lock(report.mutex);
    ++report.done;
    report.pixels += outcome.pixels;
    report.changedPixels += outcome.changedPixels;
    if (!outcome.ok || !outcome.note.empty()) {
        clearBar(report);
        if (!outcome.ok) {
            ++report.failed;
            std::fprintf(report.stream, "%s: %s: %s\n", programName, task.input.c_str(),
                         outcome.error.c_str());
        } else if (!report.quiet) {
            std::fprintf(report.stream, "%s: %s: note: %s\n", programName, task.input.c_str(),
                         outcome.note.c_str());
        }
    }
    if (report.drawBar && !report.quiet)
        drawBar(report);
}

void finishReport(RunReport& report, bool interrupted) {
    std::lock_guard<std::mutex> lock(report.mutex);
    clearBar(report);
    if (report.quiet)
        return;
    const double seconds = secondsSince(report.start);
    std::string summary = std::to_string(report.done - report.failed) + " of " +
                          std::to_string(report.total + report.skipped) + " frames smoothed";
    if (report.skipped > 0)
        summary += ", " + std::to_string(report.skipped) + " skipped as already done";
    if (report.failed > 0)
        summary += ", " + std::to_string(report.failed) + " failed";
    if (interrupted)
        summary += ", interrupted";
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    summary += "; " + groupThousands(report.changedPixels) + " of " +
               groupThousands(report.pixels) + " pixels changed; " + time;
    if (seconds > 0 && report.done > 1)
        summary += " (" + formatRate(double(report.done) / seconds) + " frames/s)";
    std::fprintf(report.stream, "%s: %s\n", programName, summary.c_str());
}
