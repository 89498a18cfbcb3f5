#include "store/diag_log.h"

#include <time.h>

#include "platform/data_dir.h"
#include "platform/message_hook.h"
#include "platform/private_file.h"
#include "platform/string_format.h"

namespace korvo {
namespace {

constexpr const char* kLevelNames[3] = {"!!Error ", "Warning ", "Message "};
constexpr size_t kMaxLine = 4999;

std::string TimePrefix(int level) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return StrPrintf("%02d:%02d:%02d.%03d %s", local.tm_hour, local.tm_min, local.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000), kLevelNames[((level % 3) + 3) % 3]);
}

std::string Indent(int depth) {
    std::string out;
    for (int i = 0; i < depth; ++i) out += (i % 2 == 0) ? '|' : ' ';
    return out;
}

}  // namespace

void DiagLog::SetFile(std::string_view name) {
    std::string dir = DataDirectory();
    std::string file(name);
    if ((dir + file).find('.') == std::string::npos) file += ".txt";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dir_ = std::move(dir);
        file_ = std::move(file);
    }
    for (int i = 0; i < 3; ++i) Line(kMessage, "%s", "");
}

std::string DiagLog::filePath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dir_ + file_;
}

int DiagLog::threshold() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threshold_;
}

void DiagLog::SetThreshold(int level) {
    std::lock_guard<std::mutex> lock(mutex_);
    threshold_ = level;
}

int DiagLog::depth() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return depth_;
}

void DiagLog::Line(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLine(level, format, args);
    va_end(args);
}

void DiagLog::VLine(int level, const char* format, va_list args) {
    if (!format) return;
    std::string line;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (level > threshold_) return;

        const std::string_view f(format);
        const bool opens = f.starts_with("++");
        const bool closes = f.starts_with("--");
        size_t skip = (opens || closes) ? 2 : 0;
        if (opens) depth_ += 2;

        // A third "+" or "-" after the nesting prefix asks for a marker line.
        const bool marked = (opens || closes) && f.size() > 2 && (f[2] == '+' || f[2] == '-');
        const std::string prefix = TimePrefix(level);
        const std::string indent = Indent(depth_);
        std::string marker;
        if (marked) {
            marker = prefix + indent + "\n";
            ++skip;
        }

        line = prefix + indent + StrVPrintf(format + skip, args);
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        line += '\n';
        if (closes) depth_ = depth_ >= 2 ? depth_ - 2 : 0;

        std::string text;
        if (marked && f[2] == '+') text += marker;
        text += line;
        if (f.starts_with("-")) text += marker;
        if (!file_.empty()) {
            if (const UniqueFd file = OpenPrivateFile(dir_, file_, PrivateOpen::kAppend))
                WriteAll(file.get(), text);
        }
    }
    // Errors reach the user even when the file cannot be written. Shown outside the lock so
    // that the hook may log in turn.
    if (level == kError) {
        line.pop_back();
        ShowMessage(line);
    }
}

DiagLog& TheLog() {
    static DiagLog log;
    return log;
}

void LogLine(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TheLog().VLine(level, format, args);
    va_end(args);
}

LogScope::LogScope(std::string name, std::string_view endWord)
    : name_(std::move(name)), endWord_(endWord) {
    LogLine(DiagLog::kMessage, "++%s begin", name_.c_str());
}

LogScope::~LogScope() {
    LogLine(DiagLog::kMessage, "--%s %s", name_.c_str(), endWord_.c_str());
}

}  // namespace korvo
