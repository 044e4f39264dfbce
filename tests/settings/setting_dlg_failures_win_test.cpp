// The settings dialog when its list view fails: a column that cannot be added ends the
// dialog at once, a row or a cell that cannot be filled is reported once per row.
#include "tests/settings/setting_dlg_driver_win.h"
#include "tests/support/list_view_faults_win.h"

namespace {

// The list view's lines of the log (loading the missing host list logs its own line).
std::vector<std::string> ListViewLines(const std::vector<std::string>& messages) {
    std::vector<std::string> lines;
    for (const std::string& message : messages) {
        if (message.rfind("リストビュー", 0) == 0) {
            lines.push_back(message);
        }
    }
    return lines;
}

TEST_F(SettingDlgTest, AColumnThatCannotBeAddedIsReportedAndClosesTheDialog) {
    ListViewFaults faults;
    faults.failColumn = 2;
    INT_PTR result = m_dlg.DoModal(theApp->instance, MAKEINTRESOURCEA(IDD_SETTINGS), NULL);
    EXPECT_EQ(0, result);
    std::vector<MessageBoxRecorder::Box> shown = BoxesSince(0);
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("ListView", shown[0].caption);
    EXPECT_EQ("リストビューカラム追加エラー", shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_EQ("確認", shown[1].caption);  // the dialog counts as changed from the start
    EXPECT_EQ(std::vector<std::string>{"リストビューの列「パス」の追加でエラーが発生しました。"},
              ListViewLines(LogMessages()));
    EXPECT_FALSE(m_dlg.m_open);
    EXPECT_EQ(nullptr, m_dlg.m_imageList);
    EXPECT_EQ(nullptr, m_dlg.m_popupMenu);
}

TEST_F(SettingDlgTest, ARowThatCannotBeInsertedIsReportedAndLeftOut) {
    SetHosts({MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, "")});
    ListViewFaults faults;
    faults.failInsertAtRow = 0;
    RunDialog([&](HWND dialog) {
        EXPECT_TRUE(ShownRows(dialog).empty());
        EXPECT_EQ(1u, Hosts().size());
        std::vector<MessageBoxRecorder::Box> shown = BoxesSince(0);
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ(dialog, shown[0].owner);
        EXPECT_EQ("ListView", shown[0].caption);
        EXPECT_EQ("リストアイテム追加エラー", shown[0].text);
    });
    EXPECT_EQ(
        std::vector<std::string>{"リストビューのアイテム「ホスト」の追加でエラーが発生しました。"},
        ListViewLines(LogMessages()));
}

TEST_F(SettingDlgTest, ACellThatCannotBeSetIsReportedOncePerRowWhichStaysIncomplete) {
    SetHosts({MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, "x"),
              MakeEntry(0, "two", 2, "/2", 2, UNIT_KB, "y")});
    ListViewFaults faults;
    faults.failSetAtSubItem = 3;
    RunDialog([&](HWND dialog) {
        std::vector<ShownRow> rows = ShownRows(dialog);
        ASSERT_EQ(2u, rows.size());
        EXPECT_EQ((std::vector<std::string>{"one", "1", "/1", "", ""}), rows[0].cells);
        EXPECT_EQ((std::vector<std::string>{"two", "2", "/2", "", ""}), rows[1].cells);
        std::vector<MessageBoxRecorder::Box> shown = BoxesSince(0);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ("リストアイテムセットエラー", shown[1].text);
    });
    const std::string line = "リストビューのアイテム「しきい値」のセットでエラーが発生しました。";
    EXPECT_EQ((std::vector<std::string>{line, line}), ListViewLines(LogMessages()));
}

}  // namespace
