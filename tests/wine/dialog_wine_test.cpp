// The switcher dialog against the real window manager.
#include <windows.h>

#include <gtest/gtest.h>

#include "editing/dialog_win32.h"

// A dialog made ahead of its switch was centred for the work area of its
// making; when a switch takes it, it is centred again in today's, whatever
// the task bar or the display did meanwhile.
TEST(SwitcherDialogTest, ADialogMadeAheadIsCentredInTheWorkAreaWhenTaken) {
    const HWND dialog = CreateWindowExW(WS_EX_TOOLWINDOW, L"#32770", L"", WS_POPUP, 3, 7, 300, 200, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, dialog);
    centreInWorkArea(dialog);
    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    RECT box = {};
    ASSERT_TRUE(GetWindowRect(dialog, &box));
    EXPECT_EQ(300, box.right - box.left);
    EXPECT_EQ(200, box.bottom - box.top);
    EXPECT_EQ(work.left + (work.right - work.left - 300) / 2, box.left);
    EXPECT_EQ(work.top + (work.bottom - work.top - 200) / 2, box.top);
    DestroyWindow(dialog);
}
