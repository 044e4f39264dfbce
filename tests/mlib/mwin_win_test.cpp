// The window framework under Wine: how windows and dialogs are bound to their objects
// through the property "Mtk_WinBase_PS", modal and modeless dialogs, the class of
// MWinDlg, and the message loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mlib/mapp.h"
#include "mlib/mwin.h"
#include "tests/support/test_support.h"

#include <commctrl.h>  // after windows.h, which mlib/mwin.h brings

namespace {

const char TEST_CLASS[] = "fsw_test_WindowClass";
const int DIALOG_TEMPLATE = 106;  // the status window's template serves as a plain dialog

HINSTANCE Instance() {
    return GetModuleHandleA(NULL);
}

// A window object that records what reaches its handler.
class RecordingWin : public MWinDlg {
public:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        if (message == WM_INITDIALOG) {
            return 1;
        }
        if (message == WM_COMMAND) {
            commands.push_back(LOWORD(wParam));
            return 1;
        }
        if (isDialog) {
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    bool Received(UINT message) const {
        for (UINT m : messages) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }
    std::vector<UINT> messages;
    std::vector<WORD> commands;
    bool isDialog = false;
};

// A modal dialog that ends itself with a chosen value once it is set up.
class EndingDlg : public MDlg {
public:
    INT_PTR HandleMessage(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) {
            boundAtInit = hwnd;
            propertyAtInit = GetPropA(hwnd, MWIN_PROPERTY);
            EndDialog(hwnd, 42);
            return 1;
        }
        if (message == WM_DESTROY) {
            sawDestroy = true;
        }
        return 0;
    }
    HWND boundAtInit = NULL;
    HANDLE propertyAtInit = NULL;
    bool sawDestroy = false;
};

// A modeless dialog from the test template, bound to object as the status window is.
HWND CreateModeless(RecordingWin* object) {
    object->isDialog = true;
    return CreateDialogParamA(Instance(), MAKEINTRESOURCEA(DIALOG_TEMPLATE), NULL,
                              reinterpret_cast<DLGPROC>(WindowProcedure),
                              reinterpret_cast<LPARAM>(static_cast<MWinBase*>(object)));
}

// What the property held when the window's last message, WM_NCDESTROY, arrived.
HANDLE g_propertyAtNcDestroy = NULL;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        g_propertyAtNcDestroy = GetPropA(window, MWIN_PROPERTY);
    }
    return WindowProcedure(window, message, wParam, lParam);
}

class WindowBinding : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        WNDCLASSEXA info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.lpfnWndProc = TestWindowProc;
        info.hInstance = Instance();
        info.lpszClassName = TEST_CLASS;
        ASSERT_NE(0, RegisterClassExA(&info));
    }
    void TearDown() override {
        for (HWND window : m_windows) {
            if (IsWindow(window)) {
                DestroyWindow(window);
            }
        }
        UnregisterClassA(TEST_CLASS, Instance());
    }
    HWND Make(MWinBase* object) {
        HWND window = CreateWindowExA(0, TEST_CLASS, "test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                      NULL, NULL, Instance(), object);
        m_windows.push_back(window);
        return window;
    }
    std::vector<HWND> m_windows;
};

TEST_F(WindowBinding, MessagesBeforeTheBindingGetTheDefaultProcessing) {
    HWND window = Make(nullptr);
    ASSERT_NE(HWND{NULL}, window) << "WM_NCCREATE answered by DefWindowProcA lets it be created";
    EXPECT_EQ(NULL, GetPropA(window, MWIN_PROPERTY));
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("default"));
    char text[32] = "";
    GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ("default", text);

    // A modal dialog's procedure answers 0 to a window that has no object.
    EXPECT_EQ(0, DialogProcedure(window, WM_COMMAND, IDOK, 0));
}

TEST_F(WindowBinding, AWindowIsBoundAtNcCreateAndItsObjectGetsEveryMessageFromThen) {
    RecordingWin object;
    HWND window = Make(&object);
    ASSERT_NE(HWND{NULL}, window);
    EXPECT_EQ(window, object.hwnd);
    EXPECT_EQ(window, object.GetHandle());
    EXPECT_EQ(&object, GetPropA(window, MWIN_PROPERTY));
    ASSERT_FALSE(object.messages.empty());
    EXPECT_EQ(UINT{WM_NCCREATE}, object.messages.front());
    EXPECT_TRUE(object.Received(WM_CREATE));

    object.Send(WM_COMMAND, 77, 0);
    ASSERT_EQ(1u, object.commands.size());
    EXPECT_EQ(77, object.commands[0]);
}

TEST_F(WindowBinding, AnObjectAlreadyBoundKeepsItsBindingAtWmInitDialog) {
    RecordingWin object;
    HWND first = Make(&object);
    HWND second = Make(nullptr);
    SendMessageA(second, WM_INITDIALOG, 0,
                 reinterpret_cast<LPARAM>(static_cast<MWinBase*>(&object)));
    EXPECT_EQ(first, object.hwnd);
    EXPECT_EQ(&object, GetPropA(first, MWIN_PROPERTY));
    EXPECT_EQ(NULL, GetPropA(second, MWIN_PROPERTY));

    // A null object binds nothing.
    SendMessageA(second, WM_INITDIALOG, 0, 0);
    EXPECT_EQ(NULL, GetPropA(second, MWIN_PROPERTY));
}

TEST_F(WindowBinding, ThePropertyIsGoneAfterWmDestroyAndTheObjectKeepsTheOldHandle) {
    RecordingWin object;
    HWND window = Make(&object);
    g_propertyAtNcDestroy = reinterpret_cast<HANDLE>(1);
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(object.Received(WM_DESTROY));
    EXPECT_FALSE(object.Received(WM_NCDESTROY)) << "after WM_DESTROY the object is unbound";
    EXPECT_EQ(NULL, g_propertyAtNcDestroy);
    EXPECT_EQ(window, object.hwnd);
}

TEST_F(WindowBinding, AnObjectWhoseWindowWasDestroyedIsBoundAgainByItsNextWindow) {
    RecordingWin object;
    HWND first = CreateModeless(&object);
    ASSERT_NE(HWND{NULL}, first);
    m_windows.push_back(first);
    ASSERT_TRUE(DestroyWindow(first));

    HWND second = CreateModeless(&object);
    ASSERT_NE(HWND{NULL}, second);
    m_windows.push_back(second);
    EXPECT_EQ(second, object.hwnd);
    EXPECT_EQ(&object, GetPropA(second, MWIN_PROPERTY));
}

TEST_F(WindowBinding, DestroyingAnObjectRemovesOnlyItsOwnBinding) {
    HWND window;
    {
        RecordingWin object;
        window = Make(&object);
        ASSERT_EQ(&object, GetPropA(window, MWIN_PROPERTY));
    }
    EXPECT_EQ(NULL, GetPropA(window, MWIN_PROPERTY)) << "the destructor unbinds a live window";

    RecordingWin other;
    HWND otherWindow = Make(&other);
    {
        RecordingWin stale;
        stale.Attach(otherWindow);  // holds a handle without being bound to it
    }
    EXPECT_EQ(&other, GetPropA(otherWindow, MWIN_PROPERTY));
}

TEST_F(WindowBinding, AModelessDialogIsBoundAtWmInitDialog) {
    RecordingWin object;
    HWND dialog = CreateModeless(&object);
    ASSERT_NE(HWND{NULL}, dialog);
    m_windows.push_back(dialog);
    EXPECT_EQ(dialog, object.hwnd);
    EXPECT_EQ(&object, GetPropA(dialog, MWIN_PROPERTY));
    EXPECT_TRUE(object.Received(WM_INITDIALOG));
    EXPECT_FALSE(object.Received(WM_NCCREATE)) << "a dialog's procedure is set after creation";
}

TEST(ModalDialog, DoModalBindsAtWmInitDialogAndReturnsTheValueGivenToEndDialog) {
    EndingDlg dialog;
    EXPECT_EQ(42, dialog.DoModal(Instance(), MAKEINTRESOURCEA(DIALOG_TEMPLATE), NULL));
    EXPECT_NE(HWND{NULL}, dialog.boundAtInit);
    EXPECT_EQ(&dialog, dialog.propertyAtInit);
    EXPECT_TRUE(dialog.sawDestroy);

    // The object is reused for the next showing.
    EndingDlg* reused = &dialog;
    reused->sawDestroy = false;
    EXPECT_EQ(42, reused->DoModal(Instance(), MAKEINTRESOURCEA(DIALOG_TEMPLATE), NULL));
    EXPECT_TRUE(reused->sawDestroy);
}

TEST(ModalDialog, DoModalReturnsMinusOneWhenTheTemplateIsMissing) {
    EndingDlg dialog;
    EXPECT_EQ(-1, dialog.DoModal(Instance(), MAKEINTRESOURCEA(9999), NULL));
    EXPECT_EQ(HWND{NULL}, dialog.hwnd);
}

class WinDlgClass : public ::testing::Test {
protected:
    void SetUp() override { InitCommonControls(); }
    void TearDown() override { UnregisterClassA(MWINDLG_CLASS, Instance()); }
};

TEST_F(WinDlgClass, CreateRegistersTheDialogClassAndCreatesTheDialogBound) {
    MessageBoxRecorder boxes;
    RecordingWin object;
    object.isDialog = true;
    ASSERT_TRUE(object.Create(MAKEINTRESOURCEA(DIALOG_TEMPLATE), nullptr, Instance(), NULL));
    EXPECT_TRUE(IsWindow(object.hwnd));
    EXPECT_EQ(&object, GetPropA(object.hwnd, MWIN_PROPERTY));

    WNDCLASSEXA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(Instance(), MWINDLG_CLASS, &info));
    EXPECT_EQ(WindowProcedure, info.lpfnWndProc);
    EXPECT_EQ(DLGWINDOWEXTRA, info.cbWndExtra);
    EXPECT_EQ(0, info.cbClsExtra);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), info.hbrBackground);
    EXPECT_TRUE(boxes.Boxes().empty());
    DestroyWindow(object.hwnd);
}

TEST_F(WinDlgClass, ASecondCreateFailsWithTheSystemTextInAnErrorBox) {
    MessageBoxRecorder boxes;
    RecordingWin first;
    first.isDialog = true;
    ASSERT_TRUE(first.Create(MAKEINTRESOURCEA(DIALOG_TEMPLATE), nullptr, Instance(), NULL));
    RecordingWin second;
    second.isDialog = true;
    EXPECT_FALSE(second.Create(MAKEINTRESOURCEA(DIALOG_TEMPLATE), nullptr, Instance(), NULL));
    EXPECT_EQ(HWND{NULL}, second.hwnd);
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error!", shown[0].caption);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_FALSE(shown[0].text.empty());
    DestroyWindow(first.hwnd);
}

TEST_F(WinDlgClass, CreateFailsWithAnErrorBoxWhenTheTemplateIsMissing) {
    MessageBoxRecorder boxes;
    RecordingWin object;
    EXPECT_FALSE(object.Create(MAKEINTRESOURCEA(9999), nullptr, Instance(), NULL));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error!", shown[0].caption);
}

class LoopApp : public MApp {
public:
    LoopApp() : MApp(GetModuleHandleA(NULL), nullptr, 0) {}
    int Init() override { return 0; }
};

// The Escape key is turned into the command IDCANCEL only by IsDialogMessageA.
TEST(MessageLoop, WithANullHandleEachMessageIsOfferedToItsOwnTargetsDialogHandling) {
    InitCommonControls();
    RecordingWin object;
    HWND dialog = CreateModeless(&object);
    ASSERT_NE(HWND{NULL}, dialog);
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostQuitMessage(7);
    LoopApp app;
    EXPECT_EQ(7, app.MessageLoop(NULL)) << "the exit code given to PostQuitMessage";
    ASSERT_EQ(1u, object.commands.size());
    EXPECT_EQ(IDCANCEL, object.commands[0]);
    DestroyWindow(dialog);
}

TEST(MessageLoop, WithAWindowHandleOnlyThatWindowsMessagesAreOfferedToDialogHandling) {
    InitCommonControls();
    RecordingWin object;
    HWND dialog = CreateModeless(&object);
    RecordingWin other;
    HWND otherDialog = CreateModeless(&other);
    ASSERT_NE(HWND{NULL}, dialog);
    ASSERT_NE(HWND{NULL}, otherDialog);
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(otherDialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostQuitMessage(0);
    LoopApp app;
    EXPECT_EQ(0, app.MessageLoop(otherDialog));
    EXPECT_TRUE(object.commands.empty());
    ASSERT_EQ(1u, other.commands.size());
    EXPECT_EQ(IDCANCEL, other.commands[0]);
    DestroyWindow(dialog);
    DestroyWindow(otherDialog);
}

const UINT WM_TEST_FAIL = WM_APP + 9;

// A modal dialog that throws as soon as it is set up.
class ThrowingDlg : public MDlg {
public:
    INT_PTR HandleMessage(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) {
            throw "ダイアログの例外";
        }
        return 0;
    }
};

// The loop window of the application below, as the main window is: WM_CLOSE destroys
// it and its destruction ends the loop. WM_TEST_FAIL throws, or runs the dialog.
class ClosingWin : public MWinDlg {
public:
    LRESULT HandleMessage(UINT message, WPARAM, LPARAM) override {
        switch (message) {
            case WM_TEST_FAIL:
                if (inDialog) {
                    ThrowingDlg dialog;
                    dialog.DoModal(Instance(), MAKEINTRESOURCEA(DIALOG_TEMPLATE), hwnd);
                    return 0;
                }
                throw "ウインドウの例外";
            case WM_CLOSE:
                closed = true;
                DestroyWindow(hwnd);
                return 1;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 1;
            default:
                return message == WM_INITDIALOG;
        }
    }
    bool inDialog = false;
    bool closed = false;
};

class FailingApp : public MApp {
public:
    FailingApp() : MApp(GetModuleHandleA(NULL), nullptr, 0) {}
    int Init() override {
        HWND window =
            CreateDialogParamA(Instance(), MAKEINTRESOURCEA(DIALOG_TEMPLATE), NULL,
                               reinterpret_cast<DLGPROC>(WindowProcedure),
                               reinterpret_cast<LPARAM>(static_cast<MWinBase*>(&loopWindow)));
        PostMessageA(window, WM_TEST_FAIL, 0, 0);
        return MessageLoop(window);
    }
    ClosingWin loopWindow;
};

// An exception may not pass the system's frames (the 32-bit build cannot unwind them):
// the window and dialog procedures report it as Run does and end the application in
// order, through the loop window's close, with exit code 2.
TEST(WindowException, IsReportedAndEndsTheApplicationInOrderWithExitCode2) {
    InitCommonControls();
    for (bool inDialog : {false, true}) {
        SCOPED_TRACE(inDialog ? "dialog procedure" : "window procedure");
        const char* text = inDialog ? "ダイアログの例外" : "ウインドウの例外";
        TempDir dir;
        MessageBoxRecorder boxes;
        FailingApp app;
        app.loopWindow.inDialog = inDialog;
        ASSERT_TRUE(app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE));
        EXPECT_EQ(2, app.Run());
        EXPECT_TRUE(app.loopWindow.closed);
        EXPECT_FALSE(IsWindow(app.loopWindow.hwnd));
        std::vector<std::string> log = LogFileMessages(dir.File("fsw.log"));
        EXPECT_EQ((std::vector<std::string>{std::string("<<例外>> ") + text,
                                            "例外が発生したため終了します。"}),
                  log);
        std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("例外発生", shown[0].caption);
        EXPECT_EQ(text, shown[0].text);
    }
}

}  // namespace
