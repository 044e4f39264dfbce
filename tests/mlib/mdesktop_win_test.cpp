// A list view laid out again for a new DPI: its columns' widths and its small icons.
#include <gtest/gtest.h>

#include "mlib/mdesktop_win.h"

namespace {

TEST(Desktop, AListViewTakesTheWidthsAndIconSizeOfTheNewDpi) {
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT, 0, 0, 300, 200, NULL,
                                NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_NE(HWND{NULL}, list);
    const int widths[] = {100, 50};
    for (int i = 0; i < 2; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH;
        column.cx = widths[i];
        ASSERT_EQ(i, SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
    }
    const char* const icons[] = {IDI_ASTERISK, IDI_HAND};
    HIMAGELIST images = MRescaleListView(list, 96, 144, NULL, icons, 2);
    ASSERT_NE(HIMAGELIST{NULL}, images);
    EXPECT_EQ(150, SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_EQ(75, SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));
    int width = 0;
    int height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &width, &height));
    EXPECT_EQ(MSmallIconSize(144), width);
    EXPECT_EQ(24, MScaleForDpi(16, 144));
    EXPECT_EQ(2, ImageList_GetImageCount(images));
    EXPECT_EQ(images,
              reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)));
    DestroyWindow(list);  // which destroys its image list
}

}  // namespace
