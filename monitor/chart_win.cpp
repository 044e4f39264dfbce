// The chart window.
#include "monitor/chart_win.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "app/history.h"
#include "app/wall_clock.h"
#include "mlib/mdesktop_win.h"
#include "monitor/chart_geometry.h"
#include "monitor/growth_text.h"
#include "monitor/status_text.h"

const char CHART_WINDOW_CLASS[] = "FSW_ChartClass";

namespace {

const int CHART_ICON_ID = 103;
const int DEFAULT_WIDTH = 640;
const int DEFAULT_HEIGHT = 400;
const int GROWTH_TABLE_HEIGHT = 240;
const int CASCADE = 32;  // each chart this much right of and below the one before

const COLORREF BACKGROUND = RGB(255, 255, 255);
const COLORREF FRAME = RGB(128, 128, 128);
const COLORREF GRID = RGB(224, 224, 224);
const COLORREF TEXT = RGB(0, 0, 0);
const COLORREF SERIES = RGB(0, 90, 200);
const COLORREF THRESHOLD = RGB(220, 0, 0);
const COLORREF FORECAST = RGB(240, 140, 0);

HPEN DashedPen(int width, COLORREF color) {
    LOGBRUSH brush = {BS_SOLID, color, 0};
    return ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, width, &brush, 0, NULL);
}

// A pen selected into a device context for one scope: a cosmetic one, or a dashed one of
// some width (which only a geometric pen can be).
class SelectedPen {
public:
    SelectedPen(HDC dc, int style, int width, COLORREF color)
        : SelectedPen(dc, CreatePen(style, width, color)) {}
    SelectedPen(HDC dc, int width, COLORREF color) : SelectedPen(dc, DashedPen(width, color)) {}
    SelectedPen(HDC dc, HPEN pen) : m_dc(dc), m_pen(pen) { m_old = SelectObject(dc, m_pen); }
    ~SelectedPen() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_pen);
    }
    SelectedPen(const SelectedPen&) = delete;
    SelectedPen& operator=(const SelectedPen&) = delete;

private:
    HDC m_dc;
    HPEN m_pen;
    HGDIOBJ m_old;
};

void Line(HDC dc, int x1, int y1, int x2, int y2) {
    MoveToEx(dc, x1, y1, NULL);
    LineTo(dc, x2, y2);
}

void Text(HDC dc, int x, int y, UINT align, const std::string& text) {
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// The chart's text font, height pixels high.
HFONT ChartFont(int height) {
    return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "MS UI Gothic");
}

// The grid, the labels of both axes and the plot's frame.
void DrawAxes(HDC dc, const ChartLayout& layout, unsigned dpi) {
    auto px = [dpi](int pixels) { return MScaleForDpi(pixels, dpi); };
    {
        SelectedPen pen(dc, PS_SOLID, px(1), GRID);
        for (const ChartTick& tick : layout.valueTicks) {
            Line(dc, layout.left, tick.position, layout.right, tick.position);
        }
        for (const ChartTick& tick : layout.timeTicks) {
            Line(dc, tick.position, layout.top, tick.position, layout.bottom);
        }
    }
    for (const ChartTick& tick : layout.valueTicks) {
        Text(dc, layout.left - px(6), tick.position - px(6), TA_RIGHT | TA_TOP, tick.label);
    }
    for (const ChartTick& tick : layout.timeTicks) {
        Text(dc, tick.position, layout.bottom + px(6), TA_CENTER | TA_TOP, tick.label);
    }
    SelectedPen pen(dc, PS_SOLID, px(1), FRAME);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, layout.left, layout.top, layout.right + 1, layout.bottom + 1);
}

// The threshold's dashed line with its text above the right end.
void DrawThreshold(HDC dc, const ChartLayout& layout, const CheckResult& target, unsigned dpi) {
    auto px = [dpi](int pixels) { return MScaleForDpi(pixels, dpi); };
    SelectedPen pen(dc, PS_DASH, 1, THRESHOLD);
    Line(dc, layout.left, layout.thresholdY, layout.right, layout.thresholdY);
    char threshold[32];
    FormatThresholdText(target.threshold, target.unit, threshold, sizeof threshold);
    SetTextColor(dc, THRESHOLD);
    Text(dc, layout.right - px(4), layout.thresholdY - px(15), TA_RIGHT | TA_TOP,
         std::string("しきい値 ") + threshold);
}

// The free space over time: a line, or a dot for a single point.
void DrawSeries(HDC dc, const ChartLayout& layout, unsigned dpi) {
    auto px = [dpi](int pixels) { return MScaleForDpi(pixels, dpi); };
    SelectedPen pen(dc, PS_SOLID, px(2), SERIES);
    std::vector<POINT> line;
    for (const ChartPoint& point : layout.series) {
        line.push_back({point.x, point.y});
    }
    if (line.size() == 1) {
        Ellipse(dc, line[0].x - px(2), line[0].y - px(2), line[0].x + px(3), line[0].y + px(3));
    } else {
        Polyline(dc, line.data(), static_cast<int>(line.size()));
    }
}

}  // namespace

std::string ChartTitle(const CheckResult& target) {
    std::string title = std::string("空き領域の推移 - ") + target.host + " " + target.path;
    if (target.description[0] != '\0') {
        title += std::string(" (") + target.description + ")";
    }
    return title;
}

ChartWindow::ChartWindow(const CheckResult& target, POINT place, const CheckHistory& history,
                         MLogSink& log, const GrowthCache* growth)
    : m_target(target),
      m_place(place),
      m_history(history),
      m_log(log),
      m_growth(growth),
      m_closed(false) {}

std::vector<std::vector<std::string>> ChartWindow::GrowthTable() const {
    GrowthEntry entry;
    if (m_growth == nullptr || !m_growth->Find(m_target.host, m_target.port, m_target.path, &entry)) {
        return {};
    }
    return GrowthTableRows(entry, CurrentUtcOffset());
}

// The first cell of a row from the left, the others right-aligned in columns from the
// right; a row of one cell (the title, the scans) across the whole width.
int ChartWindow::DrawGrowthTable(HDC dc, const std::vector<std::vector<std::string>>& rows,
                                 int width, int height, int lineHeight) {
    unsigned dpi = MGetDpiForWindow(hwnd);
    auto px = [dpi](int pixels) { return MScaleForDpi(pixels, dpi); };
    size_t fit = static_cast<size_t>(std::max(0, height / 2 / lineHeight));
    size_t shown = std::min(rows.size(), fit);
    int top = height - static_cast<int>(shown) * lineHeight - px(4);
    const int column = px(84);
    for (size_t i = 0; i < shown; i++) {
        int y = top + static_cast<int>(i) * lineHeight;
        const std::vector<std::string>& cells = rows[i];
        Text(dc, px(8), y, TA_LEFT | TA_TOP, cells[0]);
        for (size_t c = 1; c < cells.size(); c++) {
            int right = width - px(8) - static_cast<int>(cells.size() - 1 - c) * column;
            Text(dc, right, y, TA_RIGHT | TA_TOP, cells[c]);
        }
    }
    if (shown > 0) {
        SelectedPen pen(dc, PS_SOLID, px(1), FRAME);
        Line(dc, px(4), top - px(3), width - px(4), top - px(3));
    }
    return shown > 0 ? top - px(6) : height;
}

bool ChartWindow::Shows(const CheckResult& target) const {
    return m_target.port == target.port && strcmp(m_target.host, target.host) == 0 &&
           strcmp(m_target.path, target.path) == 0;
}

bool ChartWindow::Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                         HWND parent) {
    WNDCLASSEXA own;
    if (classInfo == NULL) {
        MFillWindowClass(&own, instance, CHART_WINDOW_CLASS);  // no brush: WM_PAINT covers all
        own.style = CS_HREDRAW | CS_VREDRAW;
        own.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(CHART_ICON_ID));
        own.hIconSm = own.hIcon;
        classInfo = &own;
    }
    WNDCLASSEXA known;
    known.cbSize = sizeof known;
    if (!GetClassInfoExA(instance, classInfo->lpszClassName, &known) &&
        !RegisterClassExA(classInfo)) {
        m_log.Write("グラフウインドウのクラスを登録できません。(%lu)", GetLastError());
        return false;
    }
    // Sized for the DPI of the status window it opens from.
    unsigned dpi = MGetDpiForWindow(parent);
    // Taller when the table of the folders that grew goes below the chart.
    int height = DEFAULT_HEIGHT + (GrowthTable().empty() ? 0 : GROWTH_TABLE_HEIGHT);
    HWND window = CreateWindowExA(0, classInfo->lpszClassName, title, WS_OVERLAPPEDWINDOW,
                                  m_place.x, m_place.y, MScaleForDpi(DEFAULT_WIDTH, dpi),
                                  MScaleForDpi(height, dpi), parent, NULL, instance,
                                  static_cast<MWinBase*>(this));
    if (window == NULL) {
        m_log.Write("グラフウインドウを生成できません。(%lu)", GetLastError());
        m_closed = true;
        return false;
    }
    return true;
}

LRESULT ChartWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint draws the background into its bitmap: no flicker
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                DestroyWindow(hwnd);
                return 0;
            }
            break;
        case WM_DESTROY:
            m_closed = true;
            return 0;
        case M_WM_DPICHANGED: {
            // Moved to a screen of another DPI: the place Windows suggests, drawn anew.
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd, NULL, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            InvalidateRect(hwnd, NULL, FALSE);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Drawn whole into a bitmap of the client area's size, then copied in one go.
void ChartWindow::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (width > 0 && height > 0) {
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
        if (memory != NULL && bitmap != NULL) {
            HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
            Draw(memory, width, height);
            BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
            SelectObject(memory, oldBitmap);
        }
        if (bitmap != NULL) {
            DeleteObject(bitmap);
        }
        if (memory != NULL) {
            DeleteDC(memory);
        }
    }
    EndPaint(hwnd, &paint);
}

void ChartWindow::Draw(HDC dc, int width, int height) {
    RECT all = {0, 0, width, height};
    HBRUSH background = CreateSolidBrush(BACKGROUND);
    FillRect(dc, &all, background);
    DeleteObject(background);
    // Sizes are given at 96 DPI and drawn at the window's.
    unsigned dpi = MGetDpiForWindow(hwnd);
    auto px = [dpi](int pixels) { return MScaleForDpi(pixels, dpi); };
    HFONT font = ChartFont(px(12));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TEXT);

    SIZE digit = {7, 12};
    GetTextExtentPoint32A(dc, "0", 1, &digit);
    // The folders that grew take the bottom, the chart what is left above them.
    height = DrawGrowthTable(dc, GrowthTable(), width, height, static_cast<int>(digit.cy) + px(3));
    const std::vector<HistoryPoint>* points =
        m_history.PointsOf(m_target.host, m_target.port, m_target.path);
    ChartLayout layout;
    ChartInput input = {points != nullptr ? points->data() : nullptr,
                        points != nullptr ? points->size() : 0,
                        m_target.threshold,
                        m_target.unit,
                        static_cast<int64_t>(time(nullptr)),
                        CurrentUtcOffset(),
                        width,
                        height,
                        static_cast<int>(digit.cx),
                        static_cast<int>(dpi)};
    if (!LayOutChart(input, &layout)) {
        Text(dc, width / 2, height / 2 - px(6), TA_CENTER | TA_TOP, "空き領域の履歴がありません。");
    } else {
        DrawAxes(dc, layout, dpi);
        if (layout.hasThreshold) {
            DrawThreshold(dc, layout, m_target, dpi);
        }
        char forecast[32];
        FormatForecast(m_history.ForecastOf(m_target), forecast, sizeof forecast,
                       m_history.ForecastIsOfBursts(m_target));
        SetTextColor(dc, FORECAST);
        Text(dc, layout.right - px(4), layout.top + px(4), TA_RIGHT | TA_TOP,
             std::string("満杯予測 ") + forecast);
        SetTextColor(dc, TEXT);
        if (layout.hasForecast) {
            SelectedPen pen(dc, px(2), FORECAST);
            Line(dc, layout.forecastFrom.x, layout.forecastFrom.y, layout.forecastTo.x,
                 layout.forecastTo.y);
        }
        DrawSeries(dc, layout, dpi);
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

// Over the status window, a little below and right of its corner, cascading, and kept
// within the owner's monitor; where Windows likes when the owner is not shown.
POINT ChartWindows::Place(HWND owner, size_t open) {
    POINT place = {CW_USEDEFAULT, CW_USEDEFAULT};
    RECT rect;
    if (owner == NULL || !IsWindowVisible(owner) || IsIconic(owner) ||
        !GetWindowRect(owner, &rect)) {
        return place;
    }
    int step = CASCADE * static_cast<int>(open % 8 + 1);
    place.x = rect.left + step;
    place.y = rect.top + step;
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        place.x = std::max(work.left, std::min(place.x, work.right - DEFAULT_WIDTH));
        place.y = std::max(work.top, std::min(place.y, work.bottom - DEFAULT_HEIGHT));
    }
    return place;
}

HWND ChartWindows::Open(HINSTANCE instance, HWND owner, const CheckResult& target,
                        const CheckHistory& history, MLogSink& log, const GrowthCache* growth) {
    for (auto window = m_windows.begin(); window != m_windows.end();) {
        window = (*window)->Closed() ? m_windows.erase(window) : std::next(window);
    }
    for (const auto& window : m_windows) {
        if (window->Shows(target)) {
            ShowWindow(window->hwnd, SW_RESTORE);
            SetForegroundWindow(window->hwnd);
            return window->hwnd;
        }
    }
    std::unique_ptr<ChartWindow> chart(
        new ChartWindow(target, Place(owner, m_windows.size()), history, log, growth));
    if (!chart->Create(ChartTitle(target).c_str(), NULL, instance, owner)) {
        return NULL;
    }
    chart->Show(SW_SHOW);
    chart->Update();
    SetForegroundWindow(chart->hwnd);
    m_windows.push_back(std::move(chart));
    return m_windows.back()->hwnd;
}

void ChartWindows::Refresh() {
    for (const auto& window : m_windows) {
        if (!window->Closed()) {
            InvalidateRect(window->hwnd, NULL, FALSE);
        }
    }
}
