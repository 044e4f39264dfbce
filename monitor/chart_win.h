// Windows only. The chart window of one target: its free space over the kept history, the
// threshold and the forecast, drawn with GDI into a memory bitmap; resizable, closed with
// Esc or its close box. The status window opens one per target at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mlib/mlog_sink.h"
#include "mlib/mwin.h"
#include "net/check_result.h"

extern const char CHART_WINDOW_CLASS[];  // "FSW_ChartClass"

// "空き領域の推移 - host path (description)", the description left out when empty.
std::string ChartTitle(const CheckResult& target);

class CheckHistory;
class GrowthCache;

// One chart; it reads the target's checks from the history whenever it paints.
class ChartWindow : public MWin {
public:
    // place: the window's top-left corner, or CW_USEDEFAULT twice. The history, the log and
    // growth (the folders that grew, of each row; may be null) outlive the window.
    ChartWindow(const CheckResult& target, POINT place, const CheckHistory& history, MLogSink& log,
                const GrowthCache* growth = nullptr);

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Registers the class once (when no class is given) and creates the window, owned by
    // parent, with its title from the target.
    bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;

    bool Shows(const CheckResult& target) const;  // the same host, port and path
    bool Closed() const { return m_closed; }
    // The table below the chart, as GrowthTableRows makes it of the target's latest answer:
    // "増えたフォルダ (7日間)" and its rows; empty when its server gave no report.
    std::vector<std::vector<std::string>> GrowthTable() const;

private:
    void OnPaint();
    void Draw(HDC dc, int width, int height);
    // Draws the rows from the bottom of the client area up, at most half its height;
    // returns the top of what it drew.
    int DrawGrowthTable(HDC dc, const std::vector<std::vector<std::string>>& rows, int width,
                        int height, int lineHeight);

    CheckResult m_target;
    POINT m_place;
    const CheckHistory& m_history;
    MLogSink& m_log;
    const GrowthCache* m_growth;
    bool m_closed;  // the window is gone
};

// The open charts, one per target.
class ChartWindows {
public:
    // Brings the target's chart to the front, or opens one on history, telling log why it
    // could not; its window or null.
    HWND Open(HINSTANCE instance, HWND owner, const CheckResult& target,
              const CheckHistory& history, MLogSink& log, const GrowthCache* growth = nullptr);
    // Redraws every open chart, at the end of a cycle.
    void Refresh();

private:
    static POINT Place(HWND owner, size_t open);

    std::vector<std::unique_ptr<ChartWindow>> m_windows;
};
