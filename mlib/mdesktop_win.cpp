// The program's fit to the desktop: the DPI of its windows, its tray icon's size, the
// messages it takes from programs with fewer rights.
#include "mlib/mdesktop_win.h"

namespace {

// Functions of newer systems, looked up once: the program runs on systems without them.
template <typename Function>
Function UserFunction(const char* name) {
    HMODULE user = GetModuleHandleA("user32.dll");
    return user != NULL ? reinterpret_cast<Function>(
                              reinterpret_cast<void (*)()>(GetProcAddress(user, name)))
                        : NULL;
}

typedef UINT(WINAPI* GetDpiForWindowCall)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiCall)(int, UINT);
typedef BOOL(WINAPI* ChangeWindowMessageFilterExCall)(HWND, UINT, DWORD, void*);
typedef BOOL(WINAPI* ChangeWindowMessageFilterCall)(UINT, DWORD);
const DWORD FILTER_ALLOW = 1;  // MSGFLT_ALLOW and MSGFLT_ADD

}  // namespace

unsigned MGetDpiForWindow(HWND window) {
    static const GetDpiForWindowCall getDpiForWindow =
        UserFunction<GetDpiForWindowCall>("GetDpiForWindow");
    if (getDpiForWindow != NULL && window != NULL) {
        UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    HDC screen = GetDC(NULL);
    int dpi = screen != NULL ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != NULL) {
        ReleaseDC(NULL, screen);
    }
    return dpi > 0 ? static_cast<unsigned>(dpi) : M_BASE_DPI;
}

int MScaleForDpi(int pixels, unsigned dpi) {
    return MulDiv(pixels, static_cast<int>(dpi != 0 ? dpi : M_BASE_DPI),
                  static_cast<int>(M_BASE_DPI));
}

int MSmallIconSize(unsigned dpi) {
    static const GetSystemMetricsForDpiCall metricsForDpi =
        UserFunction<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
    if (metricsForDpi != NULL) {
        int size = metricsForDpi(SM_CXSMICON, dpi);
        if (size > 0) {
            return size;
        }
    }
    return MScaleForDpi(16, dpi);
}

HICON MLoadSmallIcon(HINSTANCE instance, const char* id, unsigned dpi) {
    int size = MSmallIconSize(dpi);
    return static_cast<HICON>(LoadImageA(instance, id, IMAGE_ICON, size, size, 0));
}

bool MChangeWindowMessageFilterEx(HWND window, UINT message) {
    static const ChangeWindowMessageFilterExCall filterEx =
        UserFunction<ChangeWindowMessageFilterExCall>("ChangeWindowMessageFilterEx");
    static const ChangeWindowMessageFilterCall filter =
        UserFunction<ChangeWindowMessageFilterCall>("ChangeWindowMessageFilter");
    if (filterEx != NULL) {
        return filterEx(window, message, FILTER_ALLOW, NULL) != 0;
    }
    return filter == NULL || filter(message, FILTER_ALLOW) != 0;
}

HIMAGELIST MCreateSmallImageList(unsigned dpi, int count) {
    int size = MSmallIconSize(dpi);
    return ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 1);
}

// An icon of one's own is loaded at the list's size and freed once the list holds its copy;
// a system icon is shared, as the system keeps it.
int MImageListAddIcon(HIMAGELIST list, HINSTANCE instance, const char* id) {
    int width = 0;
    int height = 0;
    if (!ImageList_GetIconSize(list, &width, &height)) {
        return -1;
    }
    UINT shared = instance == NULL ? LR_SHARED : 0;
    HICON icon = static_cast<HICON>(LoadImageA(instance, id, IMAGE_ICON, width, height, shared));
    if (icon == NULL) {
        return -1;
    }
    int index = ImageList_ReplaceIcon(list, -1, icon);
    if (shared == 0) {
        DestroyIcon(icon);
    }
    return index;
}

HIMAGELIST MRescaleListView(HWND list, unsigned oldDpi, unsigned newDpi, HINSTANCE instance,
                            const char* const* ids, int count) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    int columns =
        header != NULL ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int column = 0; column < columns; column++) {
        int width = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
        int scaled = MulDiv(width, static_cast<int>(newDpi), static_cast<int>(oldDpi));
        SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(scaled, 0));
    }
    HIMAGELIST images = MCreateSmallImageList(newDpi, count);
    for (int i = 0; images != NULL && i < count; i++) {
        if (MImageListAddIcon(images, instance, ids[i]) != i) {
            ImageList_Destroy(images);
            images = NULL;
        }
    }
    if (images != NULL) {
        HIMAGELIST old = reinterpret_cast<HIMAGELIST>(
            SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
        if (old != NULL) {
            ImageList_Destroy(old);
        }
    }
    return images;
}
