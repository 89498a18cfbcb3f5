// The diagnostic log: timestamped lines appended to a text file in the data directory.
//
// A format that starts with "++" opens a nesting level and one that starts with "--" closes
// it; the prefix is dropped and nested lines are indented with "| ", so calls show as a tree.
// "+++" / "---" also write a marker line (timestamp and indent only) before / after the line.
// Only levels up to the threshold (1: errors and warnings) are written; errors (level 0) are
// also shown to the user through the message hook. Writing never fails the caller: when the
// file cannot be opened the line is dropped. The file is made 0600, and a link in its place is
// not followed.
#pragma once

#include <cstdarg>
#include <mutex>
#include <string>
#include <string_view>

namespace korvo {

class DiagLog {
  public:
    static constexpr int kError = 0;
    static constexpr int kWarning = 1;
    static constexpr int kMessage = 2;

    // The file is the data directory + `name`, with ".txt" added when the path has no dot.
    // Then logs three empty lines at message level.
    void SetFile(std::string_view name);
    std::string filePath() const;

    void Line(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void VLine(int level, const char* format, va_list args) __attribute__((format(printf, 3, 0)));

    int threshold() const;
    void SetThreshold(int level);
    int depth() const;

  private:
    mutable std::mutex mutex_;
    int depth_ = 0;
    int threshold_ = kWarning;
    std::string dir_;   // the data directory when the file was set
    std::string file_;  // the name below it
};

// The process-wide log.
DiagLog& TheLog();

// Shorthand for TheLog().Line(...).
void LogLine(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes "++<name> begin" now and "--<name> over" (or the given end word) when it goes out of
// scope, at message level.
class LogScope {
  public:
    explicit LogScope(std::string name, std::string_view endWord = "over");
    ~LogScope();
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

  private:
    std::string name_;
    std::string endWord_;
};

}  // namespace korvo
