// The run of a command over the platform's calls (mlib/mchild.h): the bound, the stop, the
// environment and the first line of the output are the same in both editions. The output
// is read as fast as the command prints and all but the first line thrown away, so that a
// command that prints much is not held up, nor ended at the bound, for it.
#include "mlib/mcommand.h"

#include <algorithm>
#include <chrono>

#include "mlib/mchild.h"

namespace {

// The command's end and the stop are noticed within this many milliseconds.
const unsigned STEP_MS = 50;

template <class Char>
Char AsciiLower(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <class Char>
bool IsEntryOf(const std::basic_string<Char>& entry, const std::basic_string<Char>& name,
               bool ignoreCase) {
    if (entry.size() <= name.size() || entry[name.size()] != '=') {
        return false;
    }
    for (size_t i = 0; i < name.size(); i++) {
        if (ignoreCase ? AsciiLower(entry[i]) != AsciiLower(name[i]) : entry[i] != name[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

template <class Char>
std::vector<std::basic_string<Char>> MMergeEnvironment(
    const std::vector<std::basic_string<Char>>& current,
    const std::vector<std::pair<std::basic_string<Char>, std::basic_string<Char>>>& variables,
    bool ignoreCase) {
    std::vector<std::basic_string<Char>> entries;
    for (const auto& entry : current) {
        bool replaced = false;
        for (const auto& variable : variables) {
            replaced = replaced || IsEntryOf(entry, variable.first, ignoreCase);
        }
        if (!replaced) {
            entries.push_back(entry);
        }
    }
    for (const auto& variable : variables) {
        entries.push_back(variable.first + static_cast<Char>('=') + variable.second);
    }
    return entries;
}

template std::vector<std::string> MMergeEnvironment(
    const std::vector<std::string>&, const std::vector<std::pair<std::string, std::string>>&, bool);
template std::vector<std::wstring> MMergeEnvironment(
    const std::vector<std::wstring>&, const std::vector<std::pair<std::wstring, std::wstring>>&,
    bool);

void MFirstLine::Take(const char* bytes, size_t size) {
    for (size_t i = 0; i < size && !m_done; i++) {
        if (bytes[i] == '\n') {
            if (!m_text.empty() && m_text.back() == '\r') {
                m_text.pop_back();
            }
            m_done = true;
        } else if (m_text.size() >= MAX) {
            m_done = true;
        } else {
            m_text.push_back(bytes[i]);
        }
    }
}

MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs,
                           const std::atomic<bool>* stop) {
    MCommandResult result;
    MChild* child = MStartChild(commandLine, variables, input, &result.error);
    if (child == nullptr) {
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    MFirstLine line;
    std::string output;  // one round's, thrown away once the first line has its part
    bool ended = false;
    bool stopped = false;
    while (!ended) {
        auto now = std::chrono::steady_clock::now();
        stopped = stop != nullptr && *stop;
        if (now >= deadline || stopped) {
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        output.clear();
        MExchangeWithChild(child, static_cast<unsigned>(std::min<decltype(left)>(left, STEP_MS)),
                           &output);
        line.Take(output.data(), output.size());
        ended = MReapChild(child, &result.exitCode);
    }
    if (ended) {
        // What it printed before it ended may still be in the pipe; a child of it that
        // keeps printing is read only until the line is had.
        do {
            output.clear();
            MExchangeWithChild(child, 0, &output);
            line.Take(output.data(), output.size());
        } while (!output.empty() && !line.Done());
        result.state = M_COMMAND_EXITED;
    } else {
        MEndChildTree(child);
        result.state = stopped ? M_COMMAND_STOPPED : M_COMMAND_TIMED_OUT;
    }
    MFreeChild(child);
    result.firstLine = line.Text();
    return result;
}
