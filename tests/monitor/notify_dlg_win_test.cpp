// The status window under Wine: its columns and grade marks, the rows of a cycle's results,
// the sort by a header's click, the widths fitted to the texts, the empty list's text,
// hiding on close, coming back at its first rectangle, the list filling the client area,
// and the log lines and boxes of its failures.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "mlib/mdesktop_win.h"
#include "monitor/chart_win.h"
#include "monitor/messages.h"
#include "monitor/notify_dlg_win.h"
#include "tests/support/fake_growth.h"
#include "tests/support/list_view_faults_win.h"
#include "tests/support/shell_support_win.h"

namespace {

HINSTANCE Instance() {
    return GetModuleHandleA(NULL);
}

CheckResult Result(int32_t status, const char* host, uint64_t value, uint32_t unit,
                   uint32_t threshold) {
    CheckResult result;
    ZeroMemory(&result, sizeof result);
    result.status = status;
    result.year = 2024;
    result.month = 3;
    result.day = 5;
    result.hour = 7;
    result.minute = 8;
    result.second = 9;
    CopyField(result.host, sizeof result.host, host);
    CopyField(result.path, sizeof result.path, "C:\\data");
    CopyField(result.description, sizeof result.description, "説明文");
    result.threshold = threshold;
    result.value = value;
    result.unit = unit;
    return result;
}

std::string ItemText(HWND list, int row, int column) {
    char text[512] = "";
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ItemImage(HWND list, int row) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

int StringWidth(HWND list, const std::string& text) {
    return static_cast<int>(
        SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int ColumnWidth(HWND list, int column) {
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

int RowCount(HWND list) {
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

class StatusWindow : public ShellFixture {
protected:
    void SetUp() override { InitCommonControls(); }
    void TearDown() override {
        if (m_dialog.hwnd != NULL && IsWindow(m_dialog.hwnd)) {
            DestroyWindow(m_dialog.hwnd);
        }
    }
    HWND Create() {
        HWND window =
            CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_STATUS), NULL,
                               reinterpret_cast<DLGPROC>(WindowProcedure),
                               reinterpret_cast<LPARAM>(static_cast<MWinBase*>(&m_dialog)));
        return window;
    }
    HWND List() { return GetDlgItem(m_dialog.hwnd, IDC_STATUS_LIST); }
    void Refill(const std::vector<CheckResult>& results) { m_dialog.UpdateList(results); }

    MessageBoxRecorder m_boxes;
    NotifyDlg m_dialog;
};

TEST_F(StatusWindow, IsCreatedHiddenWithItsEightColumnsIconsAndFullRowSelection) {
    ASSERT_NE(HWND{NULL}, Create());
    EXPECT_FALSE(IsWindowVisible(m_dialog.hwnd));
    char caption[64] = "";
    GetWindowTextA(m_dialog.hwnd, caption, sizeof caption);
    EXPECT_STREQ("監視状態", caption);

    struct Column {
        const char* title;
        int format;
    };
    const Column expected[] = {
        {"状態", LVCFMT_LEFT},      {"最終確認日時", LVCFMT_LEFT}, {"ホスト", LVCFMT_LEFT},
        {"パス", LVCFMT_LEFT},      {"しきい値", LVCFMT_RIGHT},    {"空き領域", LVCFMT_RIGHT},
        {"説明", LVCFMT_LEFT},      {"満杯予測", LVCFMT_RIGHT},
    };
    HWND list = List();
    for (int i = 0; i < 8; i++) {
        char title[64] = "";
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = title;
        column.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(expected[i].title, title) << "column " << i;
        EXPECT_GT(column.cx, StringWidth(list, title)) << "column " << i;
        EXPECT_EQ(expected[i].format, column.fmt & LVCFMT_JUSTIFYMASK) << "column " << i;
        EXPECT_EQ(i, column.iSubItem);
    }
    LVCOLUMNA beyond;
    ZeroMemory(&beyond, sizeof beyond);
    beyond.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageA(list, LVM_GETCOLUMNA, 8, reinterpret_cast<LPARAM>(&beyond)));

    EXPECT_TRUE(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    ASSERT_NE(HIMAGELIST{NULL}, m_dialog.m_imageList);
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_dialog.m_imageList),
              SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(5, ImageList_GetImageCount(m_dialog.m_imageList)) << "a mark for each grade";
    EXPECT_NE(0, SendMessageA(m_dialog.hwnd, WM_GETICON, ICON_SMALL, 0));
    EXPECT_NE(0, SendMessageA(m_dialog.hwnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(StatusWindow, ListsEachResultInOrderWithItsWordIconAndTextsAndNoRowForStatus0) {
    ASSERT_NE(HWND{NULL}, Create());
    Refill({
        Result(STATUS_NORMAL, "alpha", 1536, UNIT_KB, 1),
        Result(STATUS_NONE, "skipped", 0, UNIT_MB, 5),
        Result(STATUS_CAUTION, "bravo", 123, UNIT_PERCENT, 10),
        Result(STATUS_WARNING, "charlie", 1023, 9, 500),
        Result(STATUS_DANGER, "delta", 1099511627776ull, UNIT_MB, 500),
        Result(STATUS_ERROR, "echo", 0, UNIT_PERCENT, 20),
        Result(7, "foxtrot", 1024, UNIT_GB, 3),
    });
    HWND list = List();
    ASSERT_EQ(6, RowCount(list));

    struct Row {
        const char* word;
        const char* host;
        const char* threshold;
        const char* freeSpace;
        int image;
    };
    const Row expected[] = {
        {"正常", "alpha", "1 KB", "1.5 KB", 0},     {"注意", "bravo", "10 %", "12.3 %", 1},
        {"警告", "charlie", "500 B", "1023 B", 2},  {"危険", "delta", "500 MB", "1.0 TB", 3},
        {"エラー", "echo", "20 %", "N/A", 4},       {"??????", "foxtrot", "3 GB", "1.0 KB", 4},
    };
    for (int row = 0; row < 6; row++) {
        SCOPED_TRACE(row);
        EXPECT_EQ(expected[row].word, ItemText(list, row, 0));
        EXPECT_EQ("2024/03/05 07:08:09", ItemText(list, row, 1));
        EXPECT_EQ(expected[row].host, ItemText(list, row, 2));
        EXPECT_EQ("C:\\data", ItemText(list, row, 3));
        EXPECT_EQ(expected[row].threshold, ItemText(list, row, 4));
        EXPECT_EQ(expected[row].freeSpace, ItemText(list, row, 5));
        EXPECT_EQ("説明文", ItemText(list, row, 6));
        EXPECT_EQ("-", ItemText(list, row, 7)) << "no history, no forecast";
        EXPECT_EQ(expected[row].image, ItemImage(list, row));
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// Rows given in host-list order; a click on the status header puts the worst first, a
// second click turns the order round, equal rows staying in host-list order. The time is
// never cut, the description takes what the others leave.
TEST_F(StatusWindow, AHeaderClickSortsASecondReversesAndTheColumnsFitTheirTexts) {
    ASSERT_NE(HWND{NULL}, Create());
    m_dialog.ShowStatus();
    std::vector<CheckResult> results = {
        Result(STATUS_NORMAL, "a", 1, 9, 0),  Result(STATUS_ERROR, "b", 0, 9, 0),
        Result(STATUS_DANGER, "c", 1, 9, 0),  Result(STATUS_CAUTION, "d", 1, 9, 0),
        Result(STATUS_WARNING, "e", 1, 9, 0), Result(STATUS_NORMAL, "f", 1, 9, 0),
    };
    for (size_t i = 0; i < results.size(); i++) {
        results[i].listRow = static_cast<uint32_t>(i);
    }
    CopyField(results[1].description, sizeof results[1].description,
              "とても長い説明文がここに入ります、とても長い説明文");
    Refill(results);
    HWND list = List();
    auto hosts = [&] {
        std::string order;
        for (int row = 0; row < RowCount(list); row++) {
            order += ItemText(list, row, 2);
        }
        return order;
    };
    EXPECT_EQ("abcdef", hosts());
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    auto click = [&](int column) {
        RECT item;
        ASSERT_TRUE(SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&item)));
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
    };
    click(0);
    EXPECT_EQ("cbedaf", hosts()) << "danger, error, warning, caution, normal";
    EXPECT_EQ(STATUS_DANGER, m_dialog.m_rows[0].status) << "the charts follow the rows";
    click(0);
    EXPECT_EQ("afdebc", hosts());
    click(2);
    EXPECT_EQ("abcdef", hosts());

    EXPECT_GE(ColumnWidth(list, 1), StringWidth(list, "2024/03/05 07:08:09") + 12);
    EXPECT_GE(ColumnWidth(list, 6), StringWidth(list, results[1].description));
    for (SIZE size : {SIZE{1500, 400}, SIZE{1200, 300}}) {
        MoveWindow(m_dialog.hwnd, 0, 0, size.cx, size.cy, TRUE);
        RECT client;
        GetClientRect(list, &client);
        int total = 0;
        for (int column = 0; column < 8; column++) {
            total += ColumnWidth(list, column);
        }
        EXPECT_EQ(client.right, total) << size.cx;
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// An empty list says why it is empty, the rows hide the text.
TEST_F(StatusWindow, AnEmptyListShowsTheTextItIsGivenAndRowsHideIt) {
    ASSERT_NE(HWND{NULL}, Create());
    m_dialog.ShowStatus();
    HWND label = GetDlgItem(m_dialog.hwnd, IDC_STATUS_EMPTY);
    ASSERT_NE(HWND{NULL}, label);
    EXPECT_FALSE(IsWindowVisible(label)) << "no text given";
    m_dialog.SetEmptyText(StatusEmptyText(false, 0, false));
    EXPECT_TRUE(IsWindowVisible(label));
    char text[256] = "";
    GetWindowTextA(label, text, sizeof text);
    EXPECT_STREQ("クライアント機能がオフのため、問合せをしていません。", text);
    Refill({Result(STATUS_NORMAL, "a", 1, 9, 0)});
    EXPECT_FALSE(IsWindowVisible(label));
    Refill({});
    EXPECT_TRUE(IsWindowVisible(label));
}

// Moved to a screen at 150 %: the five marks again at that size, the rows kept, the columns
// measured again.
TEST_F(StatusWindow, AtANewDpiTheMarksAreReloadedAtItsSizeAndTheRowsStay) {
    ASSERT_NE(HWND{NULL}, Create());
    Refill({Result(STATUS_DANGER, "a", 1, 9, 0), Result(STATUS_ERROR, "b", 0, 9, 0)});
    RECT suggested = {0, 0, 900, 400};
    SendMessageA(m_dialog.hwnd, M_WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    ASSERT_NE(HIMAGELIST{NULL}, m_dialog.m_imageList);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(m_dialog.m_imageList, &width, &height);
    EXPECT_EQ(MSmallIconSize(144), width);
    EXPECT_EQ(5, ImageList_GetImageCount(m_dialog.m_imageList));
    EXPECT_EQ(2, RowCount(List()));
    EXPECT_GE(ColumnWidth(List(), 1), StringWidth(List(), "2024/03/05 07:08:09"));
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(StatusWindow, ARefillReplacesAllRowsAndAnEmptyCycleLeavesAnEmptyList) {
    ASSERT_NE(HWND{NULL}, Create());
    Refill({Result(STATUS_NORMAL, "a", 1, 9, 0), Result(STATUS_NORMAL, "b", 1, 9, 0)});
    ASSERT_EQ(2, RowCount(List()));
    Refill({Result(STATUS_DANGER, "c", 1, 9, 100)});
    ASSERT_EQ(1, RowCount(List()));
    EXPECT_EQ("c", ItemText(List(), 0, 2));
    Refill({});
    EXPECT_EQ(0, RowCount(List()));
}

TEST_F(StatusWindow, ClosingHidesItAndShowStatusBringsItBackAtItsFirstRectangle) {
    ASSERT_NE(HWND{NULL}, Create());
    RECT first = m_dialog.m_rect;
    EXPECT_GT(first.right - first.left, 0);
    EXPECT_GT(first.bottom - first.top, 0);

    m_dialog.ShowStatus();
    EXPECT_TRUE(IsWindowVisible(m_dialog.hwnd));
    EXPECT_EQ(m_dialog.hwnd, GetForegroundWindow());

    // The user moves and resizes it, then closes it: it is only hidden.
    MoveWindow(m_dialog.hwnd, first.left + 40, first.top + 30, 300, 200, TRUE);
    SendMessageA(m_dialog.hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(m_dialog.hwnd));
    EXPECT_FALSE(IsWindowVisible(m_dialog.hwnd));

    m_dialog.ShowStatus();
    EXPECT_TRUE(IsWindowVisible(m_dialog.hwnd));
    RECT now;
    GetWindowRect(m_dialog.hwnd, &now);
    EXPECT_EQ(first.left, now.left);
    EXPECT_EQ(first.top, now.top);
    EXPECT_EQ(first.right, now.right);
    EXPECT_EQ(first.bottom, now.bottom);

    // A visible window stays where the user put it.
    MoveWindow(m_dialog.hwnd, first.left + 10, first.top + 10, 320, 220, TRUE);
    m_dialog.ShowStatus();
    GetWindowRect(m_dialog.hwnd, &now);
    EXPECT_EQ(first.left + 10, now.left);
    EXPECT_EQ(320, now.right - now.left);
}

TEST_F(StatusWindow, TheListFillsTheClientAreaAfterAResize) {
    ASSERT_NE(HWND{NULL}, Create());
    for (SIZE size : {SIZE{700, 500}, SIZE{260, 180}}) {
        MoveWindow(m_dialog.hwnd, 20, 20, size.cx, size.cy, TRUE);
        RECT client;
        GetClientRect(m_dialog.hwnd, &client);
        RECT list;
        GetWindowRect(List(), &list);
        MapWindowPoints(NULL, m_dialog.hwnd, reinterpret_cast<POINT*>(&list), 2);
        EXPECT_EQ(0, list.left);
        EXPECT_EQ(0, list.top);
        EXPECT_EQ(client.right, list.right);
        EXPECT_EQ(client.bottom, list.bottom);
    }
}

TEST_F(StatusWindow, DestroysItselfOnTheCloseMessageOfTheShutdown) {
    ASSERT_NE(HWND{NULL}, Create());
    HWND window = m_dialog.hwnd;
    PostMessageA(window, WM_APP_CLOSE_STATUS, 0, 0);
    PumpMessages(50);
    EXPECT_FALSE(IsWindow(window));
    m_dialog.ShowStatus();  // a status window that is gone is not shown
    m_dialog.UpdateList({});
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

int ChartCount() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM counter) {
            char name[64] = "";
            GetClassNameA(window, name, sizeof name);
            *reinterpret_cast<int*>(counter) += strcmp(name, CHART_WINDOW_CLASS) == 0 ? 1 : 0;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// A double click on a row opens the chart of that row's target, owned by the status window
// and titled with host, path and description, once however often; Esc closes it. It draws
// a prepared history.
TEST_F(StatusWindow, ADoubleClickOnARowOpensTheChartOfItsTargetOnce) {
    ASSERT_NE(HWND{NULL}, Create());
    CheckResult target = Result(STATUS_NORMAL, "bravo", 1536, UNIT_KB, 1);
    for (int hour = 0; hour < 3; hour++) {
        target.checkTime = time(nullptr) - (3 - hour) * 3600;
        target.freeBytes = 3000000 - hour * 1000;
        target.totalBytes = 5000000;
        m_app->m_history.Record({target}, 0, target.checkTime);
    }
    Refill({Result(STATUS_NORMAL, "alpha", 1, 9, 0), target});
    HWND list = List();
    RECT item;
    item.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)));
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    HWND chart = FindWindowA(CHART_WINDOW_CLASS, "空き領域の推移 - bravo C:\\data (説明文)");
    ASSERT_NE(HWND{NULL}, chart);
    EXPECT_EQ(m_dialog.hwnd, GetWindow(chart, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(chart));
    EXPECT_TRUE(UpdateWindow(chart));

    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    EXPECT_EQ(1, ChartCount());
    SendMessageA(chart, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindow(chart));
    EXPECT_EQ(0, ChartCount());
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// The chart of a row whose server reported folder growth has the table of the folders below
// its chart, from the cache the status window hands it, and is taller for it.
TEST_F(StatusWindow, TheChartOfARowWithGrownFoldersShowsThemBelowTheChart) {
    ASSERT_NE(HWND{NULL}, Create());
    CheckResult target = Result(STATUS_CAUTION, "bravo", 1536, UNIT_KB, 1);
    int64_t now = time(nullptr);
    m_app->m_folderGrowth.Store(target.host, target.port, target.path, GROWTH_REPORTED,
                          SampleGrowthReport(now), now);
    Refill({target});
    RECT item;
    item.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageA(List(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)));
    SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2));
    HWND opened = FindWindowA(CHART_WINDOW_CLASS, "空き領域の推移 - bravo C:\\data (説明文)");
    ASSERT_NE(HWND{NULL}, opened);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(opened, &rect));
    EXPECT_GT(rect.bottom - rect.top, MScaleForDpi(400, MGetDpiForWindow(opened)));
    EXPECT_TRUE(UpdateWindow(opened));  // drawn with the table

    ChartWindow chart(target, POINT{CW_USEDEFAULT, CW_USEDEFAULT}, m_app->m_history, *m_app,
                      &m_app->m_folderGrowth);
    std::vector<std::vector<std::string>> rows = chart.GrowthTable();
    ASSERT_EQ(8u, rows.size());  // title, scans, column titles, 3 folders, files' titles, 1 file
    EXPECT_EQ(std::vector<std::string>{"増えたフォルダ (7日間)"}, rows[0]);
    EXPECT_EQ((std::vector<std::string>{"/srv/video/2026", "50.0 GB", "+100.0 MB", "+1.0 GB"}),
              rows[5]);
    EXPECT_EQ("最近の大きなファイル", rows[rows.size() - 2][0]);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// The status window's list view refuses chosen requests.
class StatusWindowFailures : public StatusWindow {
protected:
    ListViewFaults m_faults;
};

TEST_F(StatusWindowFailures,
       AColumnThatCannotBeAddedGivesItsLogLineAndBoxAndLeavesTheWindowHidden) {
    m_faults.failColumn = 3;
    ASSERT_NE(HWND{NULL}, Create());
    EXPECT_FALSE(IsWindowVisible(m_dialog.hwnd));
    std::vector<std::string> log = LogMessages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("リストビューの列「パス」の追加でエラーが発生しました。", log[0]);
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(m_dialog.hwnd, shown[0].owner);
    EXPECT_EQ("ListView", shown[0].caption);
    EXPECT_EQ("リストビューカラム追加エラー", shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_EQ(0, SendMessageA(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
}

TEST_F(StatusWindowFailures, ARowThatCannotBeInsertedStopsTheRefillAndKeepsTheRowsMadeSoFar) {
    ASSERT_NE(HWND{NULL}, Create());
    m_faults.failInsertAtRow = 1;
    Refill({Result(STATUS_NORMAL, "a", 1, 9, 0), Result(STATUS_NORMAL, "b", 1, 9, 0),
            Result(STATUS_NORMAL, "c", 1, 9, 0)});
    EXPECT_EQ(1, RowCount(List()));
    std::vector<std::string> log = LogMessages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("リストビューのアイテム「状態」の追加でエラーが発生しました。", log[0]);
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("ListView", shown[0].caption);
    EXPECT_EQ("リストアイテム追加エラー", shown[0].text);
}

TEST_F(StatusWindowFailures, ACellThatCannotBeSetGivesTheLogLineOfItsColumn) {
    ASSERT_NE(HWND{NULL}, Create());
    m_faults.failSetAtSubItem = 4;
    Refill({Result(STATUS_NORMAL, "a", 1, 9, 0), Result(STATUS_NORMAL, "b", 1, 9, 0)});
    EXPECT_EQ(1, RowCount(List())) << "the row was inserted before its threshold failed";
    std::vector<std::string> log = LogMessages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("リストビューのアイテム「警告値」のセットでエラーが発生しました。", log[0]);
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(m_dialog.hwnd, shown[0].owner);
    EXPECT_EQ("リストアイテムセットエラー", shown[0].text);
}

}  // namespace
