// Helpers shared by the tests.
#include "tests/support/test_support.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (;;) {
        std::ostringstream name;
        name << "fsw-test-" << random() << "-" << counter++;
        fs::path candidate = fs::temp_directory_path() / name.str();
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            m_path = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

std::string TempDir::File(const std::string& name) const {
    return m_path + M_PATH_SEPARATOR + name;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

std::string LoggedPath(const std::string& path) {
    std::string shown;
    for (char c : path) {
        shown += c == '\\' ? "\\\\" : std::string(1, c);
    }
    return shown;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LogFileMessages(const std::string& path) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(ReadFileBytes(path))) {
        size_t first = line.find('\t');
        size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        messages.push_back(second == std::string::npos ? line : line.substr(second + 1));
    }
    return messages;
}

namespace {

std::mutex g_recordLock;
std::vector<MessageBoxRecorder::Box> g_boxes;
int g_answer = IDOK;
std::function<void(const MessageBoxRecorder::Box&)> g_boxAction;

}  // namespace

MessageBoxRecorder::MessageBoxRecorder(int answer) {
    std::lock_guard<std::mutex> hold(g_recordLock);
    g_boxes.clear();
    g_answer = answer;
    g_boxAction = nullptr;
    m_previous = MSetMessageBoxHook(Record);
}

MessageBoxRecorder::~MessageBoxRecorder() {
    MSetMessageBoxHook(m_previous);
    g_boxAction = nullptr;
}

void MessageBoxRecorder::OnBox(std::function<void(const Box& box)> action) {
    g_boxAction = action;
}

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::Boxes() const {
    std::lock_guard<std::mutex> hold(g_recordLock);
    return g_boxes;
}

void MessageBoxRecorder::SetAnswer(int answer) {
    std::lock_guard<std::mutex> hold(g_recordLock);
    g_answer = answer;
}

// The action runs outside the record's lock: it may well show boxes of its own.
int MessageBoxRecorder::Record(HWND owner, const char* text, const char* caption, unsigned type) {
    Box box{owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type};
    {
        std::lock_guard<std::mutex> hold(g_recordLock);
        g_boxes.push_back(box);
    }
    std::function<void(const Box&)> action = g_boxAction;
    if (action) {
        action(box);
    }
    std::lock_guard<std::mutex> hold(g_recordLock);
    return g_answer;
}
