// The tree-control contract against comctl32's own tree view. As in the
// program, the control lives on a second thread that runs a message loop,
// and the test thread reaches it through sendTreeMessage
// (SendDlgItemMessageW to control 1001 of its parent window), so each
// message crosses threads the way the main thread's messages do.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/win32types.h"
#include "tests/contract/tree_contract.h"

namespace {

const wchar_t kHostClass[] = L"PlrTreeContractHost";
const DWORD kWaitMs = 10000;

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

struct Host {
    HANDLE ready = nullptr;
    HANDLE thread = nullptr;
    HWND window = nullptr;
    HWND tree = nullptr;
};

DWORD WINAPI hostThread(LPVOID parameter) noexcept {
    Host *host = static_cast<Host *>(parameter);
    INITCOMMONCONTROLSEX init = {};
    init.dwSize = sizeof init;
    init.dwICC = ICC_TREEVIEW_CLASSES;
    InitCommonControlsEx(&init);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kHostClass;
    RegisterClassW(&wc);  // fails harmlessly when an earlier test registered it

    host->window = CreateWindowExW(0, kHostClass, L"tree contract", WS_OVERLAPPEDWINDOW, 0, 0, 400, 500, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    if (host->window != nullptr) {
        host->tree = CreateWindowExW(0, WC_TREEVIEWW, L"",
                                     WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 0, 0,
                                     300, 400, host->window, reinterpret_cast<HMENU>(IDC_SWITCHER_TREE),
                                     wc.hInstance, nullptr);
    }
    SetEvent(host->ready);
    if (host->window == nullptr) return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace

class TreeContract : public ::testing::Test {
protected:
    void SetUp() override {
        host_.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, host_.ready);
        host_.thread = CreateThread(nullptr, 0, hostThread, &host_, 0, nullptr);
        ASSERT_NE(nullptr, host_.thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(host_.ready, kWaitMs));
        ASSERT_NE(nullptr, host_.window);
        ASSERT_NE(nullptr, host_.tree);
    }

    void TearDown() override {
        if (host_.window != nullptr) SendMessageW(host_.window, WM_CLOSE, 0, 0);
        if (host_.thread != nullptr) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(host_.thread, kWaitMs));
            CloseHandle(host_.thread);
        }
        if (host_.ready != nullptr) CloseHandle(host_.ready);
    }

    HWND dialog() const { return host_.window; }
    // The real control keeps no record of messages that named no item.
    void expectInvalidHandleUse(int) {}

private:
    Host host_;
};

#include "tests/contract/tree_contract.inc"
