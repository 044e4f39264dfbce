// Editing the live list of check targets in the settings dialog: registering with its
// checks, the limit of 10, replacing a row, deleting one row or all.
#include "tests/settings/setting_dlg_driver_win.h"

namespace {

struct RegisterCase {
    DetailFields typed;
    const char* refusal;  // the box's text, or null when the entry is taken
};

TEST_F(SettingDlgTest, RegistersOnlyAHostWithAnAbsolutePathAPortTo65535AndAThresholdFrom1) {
    const char* const HOST = "ホスト名またはIPアドレスを入力してください。";
    const char* const PATH = "チェックするパスは絶対パスで指定してください。";
    const char* const PORT = "ポートは65535以下の値でないといけません。";
    const char* const ZERO = "警告残量を0にすることはできません。";
    const char* const PERCENT = "警告残量は100%までしかありえません。";
    const char* const IPV6 = "IPv6アドレスの書き方が正しくありません。";
    const RegisterCase cases[] = {
        {{false, "", "50801", "C:\\", "10", 0, ""}, HOST},
        {{false, "", "65536", "a", "0", 0, ""}, HOST},  // the host is looked at first
        {{false, "s", "50801", "/", "10", 0, ""}, nullptr},
        {{false, "s", "50801", "a", "10", 0, ""}, PATH},
        {{true, "s", "50801", "ab", "10", 0, "説明"}, nullptr},
        {{false, "s", "50801", "C:\\", "10", 0, ""}, nullptr},
        {{false, "s", "50801", "d:", "10", 0, ""}, nullptr},
        {{false, "s", "50801", "\\\\server\\share", "10", 0, ""}, PATH},
        {{false, "s", "50801", "1:\\", "10", 0, ""}, PATH},
        {{false, "s", "50801", "", "10", 0, ""}, PATH},
        {{false, "s", "50801", "*", "10", 0, ""}, nullptr},  // every volume of s
        {{false, "s", "50801", "**", "10", 0, ""}, PATH},
        {{false, "s", "65536", "/x", "0", 0, ""}, PORT},  // the port before the threshold
        {{false, "s", "65535", "/x", "10", 0, ""}, nullptr},
        {{false, "s", "1", "/x", "100", UNIT_PERCENT, ""}, nullptr},
        {{false, "s", "1", "/x", "101", UNIT_PERCENT, ""}, PERCENT},
        {{false, "s", "1", "/x", "101", UNIT_KB, ""}, nullptr},
        {{false, "s", "1", "/x", "0", UNIT_PERCENT, ""}, ZERO},
        {{false, "s", "1", "/x", "0", UNIT_KB, ""}, ZERO},
        {{false, "s", "1", "/x", "0", UNIT_MB, ""}, ZERO},
        {{false, "s", "1", "/x", "0", UNIT_GB, ""}, ZERO},
        {{false, "[::1]", "1", "/x", "10", 0, ""}, nullptr},
        {{false, "fd00::10", "1", "/x", "10", 0, ""}, nullptr},
        {{false, "s:50801", "1", "/x", "10", 0, ""}, IPV6},
        {{false, "[::1", "1", "/x", "10", 0, ""}, IPV6},
    };
    RunDialog([&](HWND dialog) {
        for (const RegisterCase& c : cases) {
            SCOPED_TRACE("host '" + c.typed.host + "' port " + c.typed.port + " path '" +
                         c.typed.path + "' threshold " + c.typed.threshold + " unit " +
                         std::to_string(c.typed.unit));
            TypeDetails(dialog, c.typed);
            std::vector<HostEntry> before = Hosts();
            size_t boxes = BoxCount();
            Press(dialog, IDC_REGISTER);
            std::vector<HostEntry> after = Hosts();
            if (c.refusal != nullptr) {
                ExpectOneBox(BoxesSince(boxes), "エラー", c.refusal, MB_ICONEXCLAMATION);
                EXPECT_EQ(before.size(), after.size());
                ExpectDetails(c.typed, dialog);  // what was typed stays for a correction
                continue;
            }
            ExpectOneBox(BoxesSince(boxes), "確認", "登録しました。", MB_ICONINFORMATION);
            ASSERT_EQ(before.size() + 1, after.size());
            HostEntry want =
                MakeEntry(c.typed.excluded ? 1 : 0, c.typed.host.c_str(),
                          static_cast<uint16_t>(std::stoul(c.typed.port)), c.typed.path.c_str(),
                          static_cast<uint32_t>(std::stoul(c.typed.threshold)),
                          static_cast<uint32_t>(c.typed.unit), c.typed.description.c_str());
            EXPECT_TRUE(SameEntry(want, after.back()));
            EXPECT_EQ(after.size(), ShownRows(dialog).size());
            EXPECT_EQ(-1, SelectedListRow(dialog));
            ExpectDetails(NEW_ENTRY_DETAILS, dialog);
        }
    });
}

TEST_F(SettingDlgTest, RefusesTheHundredAndFirstTargetAndKeepsTheHundred) {
    std::vector<HostEntry> full;
    for (int i = 0; i < 100; i++) {
        full.push_back(MakeEntry(0, ("host" + std::to_string(i)).c_str(), 50801, "C:\\", 10,
                                 UNIT_PERCENT, ""));
    }
    SetHosts(full);
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, "one more", "50801", "C:\\", "10", 0, ""});
        size_t boxes = BoxCount();
        Press(dialog, IDC_REGISTER);
        ExpectOneBox(BoxesSince(boxes), "登録できません", "登録できるホストは100までです。",
                     MB_ICONEXCLAMATION);
        std::vector<HostEntry> after = Hosts();
        ASSERT_EQ(100u, after.size());
        EXPECT_STREQ("host99", after.back().host);
        EXPECT_EQ(100u, ShownRows(dialog).size());
        EXPECT_EQ("one more", ControlText(dialog, IDC_HOST));

        // Replacing a row of a full list is still allowed.
        SelectRow(dialog, 99);
        TypeText(dialog, IDC_HOST, "last");
        Press(dialog, IDC_REGISTER);
        after = Hosts();
        ASSERT_EQ(100u, after.size());
        EXPECT_STREQ("last", after[99].host);
    });
}

TEST_F(SettingDlgTest, ReplacesTheSelectedRowInPlaceOnlyAfterYes) {
    std::vector<HostEntry> three = {MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, "a"),
                                    MakeEntry(0, "two", 2, "/2", 2, UNIT_MB, "b"),
                                    MakeEntry(0, "three", 3, "/3", 3, UNIT_GB, "c")};
    SetHosts(three);
    RunDialog([&](HWND dialog) {
        SelectRow(dialog, 1);
        ExpectDetails({false, "two", "2", "/2", "2", UNIT_MB, "b"}, dialog);
        DetailFields typed{true, "zwei", "2222", "e:\\", "22", UNIT_PERCENT, "neu"};
        TypeDetails(dialog, typed);

        m_boxes.SetAnswer(IDNO);
        size_t boxes = BoxCount();
        Press(dialog, IDC_REGISTER);
        ExpectOneBox(BoxesSince(boxes), "確認", "現在選択されている行を置き換えていいですか？",
                     MB_YESNO | MB_ICONQUESTION);
        std::vector<HostEntry> after = Hosts();
        ASSERT_EQ(3u, after.size());
        EXPECT_TRUE(SameEntry(three[1], after[1]));
        ExpectDetails(typed, dialog);
        EXPECT_EQ(1, SelectedListRow(dialog));

        m_boxes.SetAnswer(IDYES);
        boxes = BoxCount();
        Press(dialog, IDC_REGISTER);
        std::vector<MessageBoxRecorder::Box> shown = BoxesSince(boxes);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ("現在選択されている行を置き換えていいですか？", shown[0].text);
        EXPECT_EQ("登録しました。", shown[1].text);
        after = Hosts();
        ASSERT_EQ(3u, after.size());
        EXPECT_TRUE(SameEntry(three[0], after[0]));
        EXPECT_TRUE(
            SameEntry(MakeEntry(1, "zwei", 2222, "e:\\", 22, UNIT_PERCENT, "neu"), after[1]));
        EXPECT_TRUE(SameEntry(three[2], after[2]));
        std::vector<ShownRow> rows = ShownRows(dialog);
        ASSERT_EQ(3u, rows.size());
        EXPECT_EQ((std::vector<std::string>{"zwei", "2222", "e:\\", "22%", "neu"}), rows[1].cells);
        EXPECT_EQ(m_dlg.m_imgExcluded, rows[1].image);
        EXPECT_EQ(-1, SelectedListRow(dialog));
        ExpectDetails(NEW_ENTRY_DETAILS, dialog);
    });
}

TEST_F(SettingDlgTest, DeletesTheSelectedRowByKeyOrMenuWithoutAQuestion) {
    SetHosts({MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, ""),
              MakeEntry(0, "two", 2, "/2", 2, UNIT_KB, ""),
              MakeEntry(0, "three", 3, "/3", 3, UNIT_KB, ""),
              MakeEntry(0, "four", 4, "/4", 4, UNIT_KB, "")});
    RunDialog([&](HWND dialog) {
        size_t boxes = BoxCount();
        PressKeyOnList(dialog, VK_DELETE);  // nothing selected: nothing happens
        EXPECT_EQ(4u, Hosts().size());

        SelectRow(dialog, 0);
        PressKeyOnList(dialog, VK_DELETE);
        std::vector<HostEntry> after = Hosts();
        ASSERT_EQ(3u, after.size());
        EXPECT_STREQ("two", after[0].host);
        EXPECT_STREQ("three", after[1].host);
        std::vector<ShownRow> rows = ShownRows(dialog);
        ASSERT_EQ(3u, rows.size());
        EXPECT_EQ("two", rows[0].cells[0]);
        EXPECT_EQ("four", rows[2].cells[0]);
        ExpectDetails(NEW_ENTRY_DETAILS, dialog);

        PressKeyOnList(dialog, 'D');  // other keys delete nothing
        SelectRow(dialog, 2);
        Press(dialog, CMD_DELETE_ROW);  // the context menu's item
        after = Hosts();
        ASSERT_EQ(2u, after.size());
        EXPECT_STREQ("three", after[1].host);
        EXPECT_EQ(2u, ShownRows(dialog).size());
        EXPECT_EQ(boxes, BoxCount());
    });
}

TEST_F(SettingDlgTest, DeleteAllAsksEvenForAnEmptyList) {
    SetHosts({MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, ""),
              MakeEntry(0, "two", 2, "/2", 2, UNIT_KB, "")});
    RunDialog([&](HWND dialog) {
        m_boxes.SetAnswer(IDNO);
        size_t boxes = BoxCount();
        Press(dialog, IDC_DELETE_ALL);
        ExpectOneBox(BoxesSince(boxes), "確認", "全ての登録を削除していいですか？",
                     MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(2u, Hosts().size());
        EXPECT_EQ(2u, ShownRows(dialog).size());

        m_boxes.SetAnswer(IDYES);
        Press(dialog, IDC_DELETE_ALL);
        EXPECT_TRUE(Hosts().empty());
        EXPECT_TRUE(ShownRows(dialog).empty());

        boxes = BoxCount();
        Press(dialog, IDC_DELETE_ALL);
        ExpectOneBox(BoxesSince(boxes), "確認", "全ての登録を削除していいですか？",
                     MB_YESNO | MB_ICONQUESTION);
    });
}

// Texts longer than their fields are cut before the first character that does not fit
// whole: a description of 40 two-byte characters keeps 31 of them (62 bytes).
TEST_F(SettingDlgTest, CutsLongTextsAtACharacterBoundary) {
    std::string description;
    for (int i = 0; i < 40; i++) {
        description += "漢";
    }
    std::string host(64, 'h');
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, host, "1", "/", "1", 0, description});
        Press(dialog, IDC_REGISTER);
        std::vector<HostEntry> after = Hosts();
        ASSERT_EQ(1u, after.size());
        EXPECT_EQ(description.substr(0, 62), after[0].description);
        EXPECT_EQ(host, after[0].host);
    });
}

}  // namespace
