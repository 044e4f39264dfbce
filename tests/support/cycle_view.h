// A check cycle with a fake view: it records what the cycle asks of the tray, the balloon
// and the status list, in order, and runs the summary when the sink gets the cycle's end.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/main_lifecycle.h"
#include "monitor/messages.h"
#include "tests/support/message_sink.h"

class CycleView : public MainLifecycle {
public:
    using MainLifecycle::StopRoles;

    explicit CycleView(MessageSink* sink) : m_sink(sink) {
        sink->onMessage = [this](unsigned message) {
            if (message == WM_APP_CYCLE_DONE) {
                OnCycleDone();
            }
        };
    }
    std::vector<std::string> calls;

protected:
    HWND OwnWindow() override { return m_sink->Handle(); }
    void SetTrayTip(const char* text) override { calls.push_back(std::string("tip ") + text); }
    void RestoreTrayTip() override { calls.push_back("restore"); }
    void ShowBalloon(const char* text, const char* title, unsigned iconFlag) override {
        calls.push_back(std::string("balloon ") + title + " " + std::to_string(iconFlag) + " " +
                        text);
    }
    void UpdateStatusList(const std::vector<CheckResult>& results) override {
        size_t rows = std::count_if(results.begin(), results.end(),
                                    [](const CheckResult& r) { return r.status != STATUS_NONE; });
        calls.push_back("list " + std::to_string(rows));
    }
    void ShowStatusWindow() override { calls.push_back("status"); }

private:
    MessageSink* m_sink;
};
