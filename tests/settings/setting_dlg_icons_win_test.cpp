// The settings dialog's row marks as compiled into the program: 16 x 16 images in 256
// colours whose mask lets the list's background show around the mark.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/setting_dlg_win.h"

namespace {

const unsigned char* LoadResourceData(const char* type, int number, size_t* size) {
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), type);
    if (found == NULL) {
        return nullptr;
    }
    *size = SizeofResource(module, found);
    return static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
}

// The row marks: one 16 x 16 image each, 256 colours, with a mask that leaves the
// corners transparent and the mark's middle opaque.
TEST(SettingDlgIcons, RowMarksAre16By16In256ColoursWithAMask) {
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
