// The desktop seam on Windows: each function forwards to the system call it
// is named after. Any thread may call these.
#include "platform/desktop.h"

#include "shell/globals_win32.h"

LRESULT sendTreeMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageW(dialog, IDC_SWITCHER_TREE, message, wParam, lParam);
}

namespace desk {

DWORD getLastError() { return GetLastError(); }
void setLastError(DWORD code) { SetLastError(code); }

plr_char *formatSystemMessage(DWORD code) {
    LPWSTR text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0,
                       nullptr);
    if (length == 0) return nullptr;
    return text;
}
void freeSystemMessage(plr_char *text) {
    if (text != nullptr) LocalFree(text);
}

void *localAlloc(std::size_t bytes) { return LocalAlloc(LPTR, bytes); }
std::size_t localSize(void *block) { return LocalSize(block); }
void localFree(void *block) {
    if (block != nullptr) LocalFree(block);
}

BOOL enumDesktopWindows(WNDENUMPROC proc, LPARAM lParam) { return EnumDesktopWindows(nullptr, proc, lParam); }
BOOL enumWindows(WNDENUMPROC proc, LPARAM lParam) { return EnumWindows(proc, lParam); }

LONG_PTR getWindowLongPtr(HWND hwnd, int index) { return GetWindowLongPtrW(hwnd, index); }
HWND getWindow(HWND hwnd, UINT command) { return GetWindow(hwnd, command); }
int internalGetWindowText(HWND hwnd, plr_char *buffer, int maxCount) {
    return InternalGetWindowText(hwnd, buffer, maxCount);
}
ULONG_PTR getClassLongPtr(HWND hwnd, int index) { return GetClassLongPtrW(hwnd, index); }
HICON loadApplicationIcon() { return LoadIconW(nullptr, IDI_APPLICATION); }
BOOL isWindow(HWND hwnd) { return IsWindow(hwnd); }
BOOL isIconic(HWND hwnd) { return IsIconic(hwnd); }
DWORD getWindowThreadProcessId(HWND hwnd, DWORD *processId) { return GetWindowThreadProcessId(hwnd, processId); }
HWND findWindow(const plr_char *className) { return FindWindowW(className, nullptr); }
int getClassName(HWND hwnd, plr_char *buffer, int maxCount) { return GetClassNameW(hwnd, buffer, maxCount); }
HWND getShellWindow() { return GetShellWindow(); }

LRESULT sendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD_PTR *result) {
    return SendMessageTimeoutW(hwnd, message, wParam, lParam, flags, timeoutMs, result);
}
BOOL postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(hwnd, message, wParam, lParam);
}
BOOL sendMessageCallback(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback,
                         ULONG_PTR data) {
    return SendMessageCallbackW(hwnd, message, wParam, lParam, callback, data);
}

HWND getForegroundWindow() { return GetForegroundWindow(); }
BOOL setForegroundWindow(HWND hwnd) { return SetForegroundWindow(hwnd); }
BOOL bringWindowToTop(HWND hwnd) { return BringWindowToTop(hwnd); }
BOOL setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
}
BOOL attachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach) {
    return AttachThreadInput(attachThread, toThread, attach);
}
UINT sendInput(UINT count, INPUT *inputs, int size) { return SendInput(count, inputs, size); }

DWORD getCurrentProcessId() { return GetCurrentProcessId(); }
HANDLE openProcess(DWORD access, DWORD processId) { return OpenProcess(access, FALSE, processId); }
DWORD getProcessId(HANDLE process) { return GetProcessId(process); }
BOOL terminateProcess(HANDLE process, UINT exitCode) { return TerminateProcess(process, exitCode); }
BOOL closeHandle(HANDLE handle) { return CloseHandle(handle); }

int messageBox(const plr_char *text, const plr_char *caption) { return MessageBoxW(nullptr, text, caption, MB_OK); }

BOOL getIconInfo(HICON icon, HBITMAP *colour, HBITMAP *mask) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) {
        *colour = nullptr;
        *mask = nullptr;
        return FALSE;
    }
    *colour = info.hbmColor;
    *mask = info.hbmMask;
    return TRUE;
}
HBITMAP loadBitmap(int resourceId) { return LoadBitmapW(g_hInstance, MAKEINTRESOURCEW(resourceId)); }
BOOL deleteObject(HBITMAP bitmap) { return DeleteObject(bitmap); }
HIMAGELIST imageListCreate(int cx, int cy, UINT flags, int initial, int grow) {
    return ImageList_Create(cx, cy, flags, initial, grow);
}
int imageListAdd(HIMAGELIST list, HBITMAP image, HBITMAP mask) { return ImageList_Add(list, image, mask); }
int imageListAddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour) {
    return ImageList_AddMasked(list, image, maskColour);
}
BOOL imageListDestroy(HIMAGELIST list) { return ImageList_Destroy(list); }
int imageListGetImageCount(HIMAGELIST list) { return ImageList_GetImageCount(list); }
BOOL imageListSetImageCount(HIMAGELIST list, UINT count) { return ImageList_SetImageCount(list, count); }
BOOL imageListReplace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask) {
    return ImageList_Replace(list, index, image, mask);
}
BOOL imageListCopyWithin(HIMAGELIST list, int destination, int source) {
    return ImageList_Copy(list, destination, list, source, ILCF_MOVE);
}

DWORD currentThreadId() { return GetCurrentThreadId(); }

ULONGLONG tickCount() { return GetTickCount64(); }
void takeSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}
// The answers to SendMessageCallbackW come as sent messages: they wake this
// wait, and the peek calls their callbacks.
void waitForSentMessages(DWORD timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_SENDMESSAGE);
    takeSentMessages();
}

BOOL getBitmapSize(HBITMAP bitmap, int *width, int *height) {
    BITMAP info = {};
    if (GetObjectW(bitmap, sizeof info, &info) == 0) return FALSE;
    *width = info.bmWidth;
    *height = info.bmHeight;
    return TRUE;
}
HICON copyIcon(HICON icon, int cx, int cy) { return static_cast<HICON>(CopyImage(icon, IMAGE_ICON, cx, cy, 0)); }
BOOL destroyIcon(HICON icon) { return DestroyIcon(icon); }
HRESULT dwmGetWindowAttribute(HWND hwnd, DWORD attribute, void *value, DWORD size) {
    return DwmGetWindowAttribute(hwnd, attribute, value, size);
}
int mapWindowPoints(HWND from, HWND to, POINT *points, UINT count) {
    return MapWindowPoints(from, to, points, count);
}

}  // namespace desk
