// Opening the settings dialog: what it shows of the settings and the check targets,
// the fixed items of its combo boxes, and the context menu of the list.
#include "tests/settings/setting_dlg_driver_win.h"

namespace {

std::string ComboItem(HWND dialog, int id, int position) {
    char text[128];
    text[0] = '\0';
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(position),
                        reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(SettingDlgTest, ShowsTheSettingsTheCaptionAndTheFixedItems) {
    theApp->m_server = 1;
    theApp->m_serverPort = 4464;
    theApp->m_client = 0;
    theApp->m_interval = 25;
    theApp->m_notify = 2;
    theApp->m_logMode = LOG_NONE;
    RunDialog([&](HWND dialog) {
        char caption[64];
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ("ケルム", caption);
        EXPECT_TRUE(GetCheck(dialog, IDC_SERVER));
        EXPECT_EQ("4464", ControlText(dialog, IDC_SERVER_PORT));
        EXPECT_FALSE(GetCheck(dialog, IDC_CLIENT));
        EXPECT_EQ("25", ControlText(dialog, IDC_INTERVAL));
        EXPECT_EQ(2, ComboSelection(dialog, IDC_NOTIFY));
        EXPECT_TRUE(GetCheck(dialog, IDC_LOG_NONE));
        EXPECT_FALSE(GetCheck(dialog, IDC_LOG_OVERWRITE));
        EXPECT_FALSE(GetCheck(dialog, IDC_LOG_APPEND));

        // The combo boxes sort, yet their positions are the stored values.
        const char* units[] = {"%", "KB", "MB", "GB"};
        const char* notify[] = {"通知しない", "バルーン", "ダイアログ", "バルーンとダイアログ"};
        EXPECT_EQ(4, SendDlgItemMessageA(dialog, IDC_UNIT, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(4, SendDlgItemMessageA(dialog, IDC_NOTIFY, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(units[i], ComboItem(dialog, IDC_UNIT, i));
            EXPECT_EQ(notify[i], ComboItem(dialog, IDC_NOTIFY, i));
        }

        // A new entry's values fill the details.
        ExpectDetails(NEW_ENTRY_DETAILS, dialog);
    });
}

// Values that only a hand-edited file holds still show as something the user can pick.
TEST_F(SettingDlgTest, ShowsANotificationAbove3ByItsLowBitsAndAnyOtherLogModeAsAppend) {
    theApp->m_notify = 5;
    theApp->m_logMode = 7;
    theApp->m_server = 2;
    RunDialog([&](HWND dialog) {
        EXPECT_EQ(1, ComboSelection(dialog, IDC_NOTIFY));
        EXPECT_FALSE(GetCheck(dialog, IDC_LOG_NONE));
        EXPECT_FALSE(GetCheck(dialog, IDC_LOG_OVERWRITE));
        EXPECT_TRUE(GetCheck(dialog, IDC_LOG_APPEND));
        EXPECT_FALSE(GetCheck(dialog, IDC_SERVER));  // only 1 means on
    });
}

TEST_F(SettingDlgTest, ListsEveryTargetInOrderWithItsRowMarkAndThresholdText) {
    SetHosts({MakeEntry(0, "server1", 50801, "C:\\", 10, UNIT_PERCENT, "経理"),
              MakeEntry(1, "10.0.0.2", 1, "/srv", 500, UNIT_MB, ""),
              MakeEntry(2, "nas", 65535, "d:", 4000000000u, UNIT_GB, "x"),
              MakeEntry(0, "old", 7, "e:\\data", 123, 7, "bytes")});
    RunDialog([&](HWND dialog) {
        std::vector<ShownRow> rows = ShownRows(dialog);
        ASSERT_EQ(4u, rows.size());
        EXPECT_EQ((std::vector<std::string>{"server1", "50801", "C:\\", "10%", "経理"}),
                  rows[0].cells);
        EXPECT_EQ((std::vector<std::string>{"10.0.0.2", "1", "/srv", "500MB", ""}), rows[1].cells);
        EXPECT_EQ((std::vector<std::string>{"nas", "65535", "d:", "4000000000GB", "x"}),
                  rows[2].cells);
        EXPECT_EQ((std::vector<std::string>{"old", "7", "e:\\data", "123B", "bytes"}),
                  rows[3].cells);
        // Only an exclusion flag of 1 shows the grey mark.
        EXPECT_EQ(m_dlg.m_imgChecked, rows[0].image);
        EXPECT_EQ(m_dlg.m_imgExcluded, rows[1].image);
        EXPECT_EQ(m_dlg.m_imgChecked, rows[2].image);
        EXPECT_NE(m_dlg.m_imgChecked, m_dlg.m_imgExcluded);

        // Selecting a row shows it in the details; clearing the selection shows a new one.
        SelectRow(dialog, 1);
        ExpectDetails({true, "10.0.0.2", "1", "/srv", "500", UNIT_MB, ""}, dialog);
        SelectRow(dialog, 0);
        EXPECT_EQ("server1", ControlText(dialog, IDC_HOST));
        EXPECT_EQ("経理", ControlText(dialog, IDC_DESCRIPTION));
        EXPECT_FALSE(GetCheck(dialog, IDC_EXCLUDED));
        SelectRow(dialog, -1);
        EXPECT_EQ("", ControlText(dialog, IDC_HOST));
        EXPECT_EQ("50801", ControlText(dialog, IDC_PORT));
    });
}

TEST_F(SettingDlgTest, IsMarkedOpenOnlyWhileItShows) {
    EXPECT_FALSE(m_dlg.m_open);
    bool openInside = false;
    bool modifiedInside = false;
    INT_PTR result = RunDialog([&](HWND) {
        MLockGuard hold(theApp->m_dialogLock);
        openInside = m_dlg.m_open;
        modifiedInside = m_dlg.m_modified;
    });
    EXPECT_EQ(0, result);
    EXPECT_TRUE(openInside);
    EXPECT_TRUE(modifiedInside);
    EXPECT_FALSE(m_dlg.m_open);
    EXPECT_EQ(nullptr, m_dlg.m_popupMenu);
    EXPECT_EQ(nullptr, m_dlg.m_imageList);
    // The same object opens again, with a fresh menu and image list.
    EXPECT_EQ(0, RunDialog([&](HWND) {
                  MLockGuard hold(theApp->m_dialogLock);
                  EXPECT_TRUE(m_dlg.m_open);
                  EXPECT_NE(nullptr, m_dlg.m_popupMenu);
                  EXPECT_NE(nullptr, m_dlg.m_imageList);
              }));
    EXPECT_FALSE(m_dlg.m_open);
}

// The context menu's one item is grayed without a selection and enabled with one.
TEST_F(SettingDlgTest, RightClickShowsDeleteGrayedWithoutASelection) {
    SetHosts({MakeEntry(0, "a", 1, "/", 1, UNIT_KB, "")});
    RunDialog([&](HWND dialog) {
        static NMHDR click;
        click.hwndFrom = GetDlgItem(dialog, IDC_HOST_LIST);
        click.idFrom = IDC_HOST_LIST;
        click.code = NM_RCLICK;
        for (int row : {-1, 0}) {
            SCOPED_TRACE("selected row " + std::to_string(row));
            SelectRow(dialog, row);
            PostMessageA(dialog, WM_NOTIFY, IDC_HOST_LIST, reinterpret_cast<LPARAM>(&click));
            HWND popup = NULL;
            ASSERT_TRUE(WaitUntil(
                [&] {
                    popup = FindWindowA("#32768", NULL);
                    return popup != NULL && IsWindowVisible(popup);
                },
                5000));
            HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
            ASSERT_NE(nullptr, menu);
            EXPECT_EQ(1, GetMenuItemCount(menu));
            char text[64];
            GetMenuStringA(menu, CMD_DELETE_ROW, text, sizeof text, MF_BYCOMMAND);
            EXPECT_STREQ("削除(DEL)", text);
            UINT state = GetMenuState(menu, CMD_DELETE_ROW, MF_BYCOMMAND);
            EXPECT_EQ(row < 0, (state & MF_GRAYED) != 0);
            EndMenu();
            ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }, 5000));
        }
        EXPECT_EQ(1u, Hosts().size());  // closing the menu chose nothing
    });
}

}  // namespace
