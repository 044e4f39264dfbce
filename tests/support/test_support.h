// Helpers shared by the tests: temporary folders, whole-file reads and writes, and a
// recorder that stands in for message boxes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mlib/msys.h"

// A fresh folder under the system's temporary folder, removed with all it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of a file in the folder, joined with the platform's separator.
    std::string File(const std::string& name) const;

private:
    std::string m_path;
};

std::string ReadFileBytes(const std::string& path);  // empty when the file is missing
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Lines of a text, each without its line end (CR LF or LF).
std::vector<std::string> SplitLines(const std::string& text);
// A path in ASCII or UTF-8 without control characters as the log shows it: its
// backslashes (the Windows builds' separators) doubled.
std::string LoggedPath(const std::string& path);
// The messages of a log file's lines: each line without its time and module name.
std::vector<std::string> LogFileMessages(const std::string& path);

// Records every message box while it lives, and answers each with a chosen button.
class MessageBoxRecorder {
public:
    struct Box {
        HWND owner;
        std::string text;
        std::string caption;
        unsigned type;
    };

    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<Box> Boxes() const;
    void SetAnswer(int answer);
    // Runs while each later box is "open", before it is answered: what the user or the
    // system could do from the box's own message loop.
    void OnBox(std::function<void(const Box& box)> action);

private:
    static int Record(HWND owner, const char* text, const char* caption, unsigned type);
    MMessageBoxHook m_previous;
};

// Polls a condition every 10 ms for at most the given time; true once it holds.
template <typename Condition>
bool WaitUntil(Condition condition, unsigned milliseconds) {
    for (unsigned waited = 0;; waited += 10) {
        if (condition()) {
            return true;
        }
        if (waited >= milliseconds) {
            return false;
        }
        MSleep(10);
    }
}
