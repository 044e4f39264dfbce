// The settings dialog's resources as compiled into the program: template 102 with every
// control in tab order, and the two 16 x 16 row icons in 256 colours.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/setting_dlg_win.h"

namespace {

struct TemplateControl {
    int id;
    std::string className;
    std::string text;  // code page 932
    short x, y, cx, cy;
    unsigned style;
};

struct DialogTemplate {
    unsigned style;
    unsigned exStyle;
    short x, y, cx, cy;
    std::string caption;
    unsigned short pointSize;
    std::string font;
    std::vector<TemplateControl> controls;
};

// Reads DLGTEMPLATEEX data: the header, the font and the items, each item aligned to
// four bytes; texts are UTF-16 in the resource and returned in code page 932.
class TemplateReader {
public:
    explicit TemplateReader(const unsigned char* data) : m_base(data), m_at(data) {}

    unsigned short Word() {
        unsigned short value;
        memcpy(&value, m_at, 2);
        m_at += 2;
        return value;
    }
    unsigned Dword() {
        unsigned value;
        memcpy(&value, m_at, 4);
        m_at += 4;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    unsigned char Byte() { return *m_at++; }
    std::string Text() {
        std::wstring wide;
        for (unsigned short c = Word(); c != 0; c = Word()) {
            wide.push_back(static_cast<wchar_t>(c));
        }
        return Narrow(wide);
    }
    // A name or an ordinal; ordinals of the predefined classes come back as names.
    std::string NameOrOrdinal() {
        unsigned short first;
        memcpy(&first, m_at, 2);
        if (first == 0xFFFF) {
            Word();
            switch (Word()) {
                case 0x80:
                    return "Button";
                case 0x81:
                    return "Edit";
                case 0x82:
                    return "Static";
                case 0x85:
                    return "ComboBox";
                default:
                    return "#ordinal";
            }
        }
        return Text();
    }
    void AlignDword() {
        while ((m_at - m_base) % 4 != 0) {
            m_at++;
        }
    }
    void Skip(size_t bytes) { m_at += bytes; }

private:
    static std::string Narrow(const std::wstring& wide) {
        if (wide.empty()) {
            return "";
        }
        char text[512];
        int length = WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), text,
                                         sizeof text, NULL, NULL);
        return std::string(text, static_cast<size_t>(length));
    }

    const unsigned char* m_base;
    const unsigned char* m_at;
};

const unsigned char* LoadResourceData(const char* type, int number, size_t* size) {
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), type);
    if (found == NULL) {
        return nullptr;
    }
    *size = SizeofResource(module, found);
    return static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
}

DialogTemplate ReadSettingsTemplate() {
    DialogTemplate dialog;
    size_t size = 0;
    const unsigned char* data = LoadResourceData(MAKEINTRESOURCEA(5), IDD_SETTINGS, &size);
    if (data == nullptr) {
        ADD_FAILURE() << "template 102 is missing";
        return dialog;
    }
    TemplateReader in(data);
    EXPECT_EQ(1, in.Word());       // version
    EXPECT_EQ(0xFFFF, in.Word());  // the extended form's signature
    in.Dword();                    // help id
    dialog.exStyle = in.Dword();
    dialog.style = in.Dword();
    unsigned short count = in.Word();
    dialog.x = in.Short();
    dialog.y = in.Short();
    dialog.cx = in.Short();
    dialog.cy = in.Short();
    EXPECT_EQ("", in.NameOrOrdinal());  // no menu
    EXPECT_EQ("", in.NameOrOrdinal());  // the system's dialog class
    dialog.caption = in.Text();
    dialog.pointSize = in.Word();
    in.Word();  // weight
    in.Byte();  // italic
    in.Byte();  // character set
    dialog.font = in.Text();
    for (unsigned short i = 0; i < count; i++) {
        in.AlignDword();
        TemplateControl control;
        in.Dword();  // help id
        in.Dword();  // extended style
        control.style = in.Dword();
        control.x = in.Short();
        control.y = in.Short();
        control.cx = in.Short();
        control.cy = in.Short();
        control.id = static_cast<int>(in.Dword());
        control.className = in.NameOrOrdinal();
        control.text = in.NameOrOrdinal();
        in.Skip(in.Word());  // creation data
        dialog.controls.push_back(control);
    }
    return dialog;
}

TEST(SettingDlgTemplate, HasTheCaptionFontSizeAndStylesOfTheSettingsDialog) {
    DialogTemplate dialog = ReadSettingsTemplate();
    EXPECT_EQ("kiv", dialog.caption);
    EXPECT_EQ("MS Shell Dlg", dialog.font);
    EXPECT_EQ(8, dialog.pointSize);
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(423, dialog.cx);
    EXPECT_EQ(276, dialog.cy);
    EXPECT_EQ(0x80CA0848u, dialog.style);
    EXPECT_EQ(0x40000u, dialog.exStyle);
}

TEST(SettingDlgTemplate, HoldsEveryControlInTabOrderWithItsClassTextRectangleAndStyle) {
    const TemplateControl expected[] = {
        {-1, "BUTTON", "サーバ設定", 6, 4, 410, 29, 0x50000007},
        {1012, "BUTTON", "待受サーバとして動作させる", 14, 16, 112, 10, 0x50010003},
        {-1, "STATIC", "待受ポート :", 138, 16, 39, 8, 0x50020000},
        {1011, "EDIT", "", 182, 14, 37, 13, 0x50812082},
        {-1, "BUTTON", "クライアント設定", 6, 37, 409, 215, 0x50000007},
        {1014, "BUTTON", "各サーバにディスク容量を問合せる", 14, 49, 129, 10, 0x50010003},
        {-1, "STATIC", "サーバをチェックする間隔 :", 167, 49, 83, 8, 0x50020000},
        {1013, "EDIT", "", 250, 47, 37, 13, 0x50812082},
        {-1, "STATIC", "分おき", 289, 49, 28, 8, 0x50020000},
        {-1, "BUTTON", "チェック対象リスト", 13, 63, 257, 183, 0x50000007},
        {1020, "STATIC",
         "※このダイアログの表示中はチェック対象リストはリアルタイムで有効になります。", 19, 74, 245,
         8, 0x50020000},
        {1001, "SysListView32", "", 19, 85, 246, 139, 0x5081880D},
        {1002, "BUTTON", "全削除", 18, 227, 54, 15, 0x50010000},
        {1003, "BUTTON", "今すぐチェック", 211, 227, 54, 15, 0x50010000},
        {-1, "BUTTON", "選択列詳細", 276, 62, 133, 151, 0x50000007},
        {1015, "BUTTON", "問合せ対象外にする", 284, 73, 83, 10, 0x50010003},
        {-1, "STATIC", "ホスト名 :", 282, 90, 36, 8, 0x50020002},
        {1005, "EDIT", "", 324, 87, 78, 13, 0x50810080},
        {-1, "STATIC", "ポート :", 285, 103, 33, 8, 0x50020002},
        {1006, "EDIT", "", 324, 101, 37, 13, 0x50812082},
        {-1, "STATIC", "容量チェックするパス :", 284, 119, 73, 8, 0x50020000},
        {1007, "EDIT", "", 283, 129, 119, 13, 0x50810080},
        {-1, "STATIC", "警告を表示するディスク残量 :", 284, 145, 106, 8, 0x50020000},
        {1008, "EDIT", "", 283, 154, 51, 13, 0x50812082},
        {1009, "COMBOBOX", "", 335, 154, 35, 82, 0x50210103},
        {-1, "STATIC", "以下", 375, 156, 23, 8, 0x50020000},
        {-1, "STATIC", "説明 :", 282, 175, 24, 8, 0x50020000},
        {1021, "EDIT", "", 308, 173, 96, 13, 0x50810080},
        {1004, "BUTTON", "登録", 347, 192, 54, 15, 0x50010000},
        {-1, "STATIC", "警告の通知方法 :", 278, 218, 66, 8, 0x50020000},
        {1010, "COMBOBOX", "", 277, 229, 131, 110, 0x50210103},
        {-1, "STATIC", "ログ :", 12, 259, 20, 8, 0x50020000},
        {1016, "BUTTON", "なし", 35, 258, 33, 11, 0x50000009},
        {1017, "BUTTON", "上書き", 76, 258, 37, 11, 0x50000009},
        {1018, "BUTTON", "追記", 119, 258, 37, 11, 0x50000009},
        {1019, "STATIC", "※「OK」で閉じないと設定は保存されません！", 165, 259, 147, 8, 0x50020000},
        {1, "BUTTON", "OK", 316, 257, 50, 14, 0x50010001},
        {2, "BUTTON", "キャンセル", 366, 257, 50, 14, 0x50010000},
    };
    DialogTemplate dialog = ReadSettingsTemplate();
    const size_t count = sizeof expected / sizeof expected[0];
    ASSERT_EQ(count, dialog.controls.size());
    for (size_t i = 0; i < count; i++) {
        const TemplateControl& want = expected[i];
        const TemplateControl& got = dialog.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        EXPECT_EQ(want.id, got.id);
        EXPECT_EQ(0, _stricmp(want.className.c_str(), got.className.c_str()))  // any case
            << got.className;
        EXPECT_EQ(want.text, got.text);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
        EXPECT_EQ(want.style, got.style) << std::hex << got.style;
    }
}

// The row marks: one 16 x 16 image each, 256 colours, with a mask that leaves the
// corners transparent and the mark's middle opaque.
TEST(SettingDlgTemplate, RowIconsAre16By16In256ColoursWithAMask) {
    for (int number : {IDI_ROW_CHECKED, IDI_ROW_EXCLUDED}) {
        SCOPED_TRACE("icon " + std::to_string(number));
        size_t size = 0;
        const unsigned char* group = LoadResourceData(MAKEINTRESOURCEA(14), number, &size);
        ASSERT_NE(nullptr, group);
        ASSERT_GE(size, 6u + 14u);
        unsigned short images;
        memcpy(&images, group + 4, 2);
        ASSERT_EQ(1, images);
        EXPECT_EQ(16, group[6]);  // width
        EXPECT_EQ(16, group[7]);  // height
        unsigned short bits;
        memcpy(&bits, group + 6 + 6, 2);
        EXPECT_EQ(8, bits);

        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(number), IMAGE_ICON, 16, 16, 0));
        ASSERT_NE(nullptr, icon);
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        HDC dc = CreateCompatibleDC(NULL);
        HGDIOBJ old = SelectObject(dc, info.hbmMask);
        EXPECT_NE(RGB(0, 0, 0), GetPixel(dc, 0, 0));    // a corner shows the screen
        EXPECT_NE(RGB(0, 0, 0), GetPixel(dc, 15, 15));  // so does the opposite one
        EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 6, 11));   // the stroke's corner is opaque
        SelectObject(dc, info.hbmColor);
        COLORREF corner = GetPixel(dc, 6, 11);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        DestroyIcon(icon);
        if (number == IDI_ROW_CHECKED) {
            EXPECT_GT(GetGValue(corner), GetRValue(corner) + 64);  // green
        } else {
            EXPECT_EQ(GetRValue(corner), GetGValue(corner));  // grey
            EXPECT_GE(GetRValue(corner), 0xA0);               // and pale
        }
    }
}

}  // namespace
