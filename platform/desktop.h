// The program's seam with the system.
//
// Everything the platform-free core (model/, switcher/, editing/, and the
// activation and closing code of shell/) needs from Windows goes through the
// functions below, which keep the Win32 names, arguments and results of the
// calls they stand for. platform/win32/ forwards them to the system;
// platform/fake/ implements them for native tests with a behaving fake
// desktop, tree control and image lists. The Win32-only files (*_win32.cpp)
// call the system directly.
//
// Two narrow interfaces:
//   - sendTreeMessage: the one way the core reaches the switcher's tree view
//     (control 1001 of the dialog).
//   - desk::*: the desktop: enumeration, window properties, timed messages,
//     foreground control, processes, icons and image lists, last error.
#pragma once

#include "platform/win32types.h"

// SendDlgItemMessageW(dialog, IDC_SWITCHER_TREE, message, wParam, lParam).
// From the main thread this blocks until the switcher thread has handled the
// message; the switcher thread handles sent messages whenever it waits.
LRESULT sendTreeMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

namespace desk {

// Last-error code of the calling thread.
DWORD getLastError();
void setLastError(DWORD code);

// FormatMessageW(ALLOCATE_BUFFER | FROM_SYSTEM | IGNORE_INSERTS) for `code`.
// Returns the system's text (to be released with freeSystemMessage), or null
// when the system has none.
plr_char *formatSystemMessage(DWORD code);
void freeSystemMessage(plr_char *text);

// Local memory: LocalAlloc(LPTR, bytes), a zero-filled block or null;
// LocalSize, the block's actual size in bytes, which may exceed the request;
// LocalFree.
void *localAlloc(std::size_t bytes);
std::size_t localSize(void *block);
void localFree(void *block);

// Window enumeration; the callback returns FALSE to stop.
BOOL enumDesktopWindows(WNDENUMPROC proc, LPARAM lParam);
BOOL enumWindows(WNDENUMPROC proc, LPARAM lParam);

// Window properties.
LONG_PTR getWindowLongPtr(HWND hwnd, int index);
HWND getWindow(HWND hwnd, UINT command);
int internalGetWindowText(HWND hwnd, plr_char *buffer, int maxCount);
ULONG_PTR getClassLongPtr(HWND hwnd, int index);
HICON loadApplicationIcon();  // LoadIconW(NULL, IDI_APPLICATION)
BOOL isWindow(HWND hwnd);
BOOL isIconic(HWND hwnd);
DWORD getWindowThreadProcessId(HWND hwnd, DWORD *processId);
HWND findWindow(const plr_char *className);  // FindWindowW(className, NULL)
int getClassName(HWND hwnd, plr_char *buffer, int maxCount);  // GetClassNameW
HWND getShellWindow();

// Timed and posted messages.
LRESULT sendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD_PTR *result);
BOOL postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// SendMessageCallbackW: queues the message and returns at once; FALSE (with
// the last error) when it could not be sent. The system calls `callback`
// with `data` and the answer on this thread when the thread takes sent
// messages (waitForSentMessages, takeSentMessages, any message loop or
// blocking send), at once for a window of this thread, much later for a
// slow one, never for one that does not answer.
BOOL sendMessageCallback(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback,
                         ULONG_PTR data);
// Waits at most timeoutMs for a message sent to this thread or an answer to
// sendMessageCallback, then carries out what has come (see
// takeSentMessages): MsgWaitForMultipleObjects with QS_SENDMESSAGE.
void waitForSentMessages(DWORD timeoutMs);

// Foreground control.
HWND getForegroundWindow();
BOOL setForegroundWindow(HWND hwnd);
BOOL bringWindowToTop(HWND hwnd);
BOOL setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL attachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach);
UINT sendInput(UINT count, INPUT *inputs, int size);

// Processes.
DWORD getCurrentProcessId();
HANDLE openProcess(DWORD access, DWORD processId);  // OpenProcess(access, FALSE, id)
DWORD getProcessId(HANDLE process);                 // GetProcessId
BOOL terminateProcess(HANDLE process, UINT exitCode);
BOOL closeHandle(HANDLE handle);

// User notification (MessageBoxW(NULL, text, caption, MB_OK)).
int messageBox(const plr_char *text, const plr_char *caption);

// Icons, bitmaps and image lists for the switcher's tree.
BOOL getIconInfo(HICON icon, HBITMAP *colour, HBITMAP *mask);
HBITMAP loadBitmap(int resourceId);  // LoadBitmapW(g_hInstance, id)
BOOL deleteObject(HBITMAP bitmap);
HIMAGELIST imageListCreate(int cx, int cy, UINT flags, int initial, int grow);
int imageListAdd(HIMAGELIST list, HBITMAP image, HBITMAP mask);
int imageListAddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour);
BOOL imageListDestroy(HIMAGELIST list);
int imageListGetImageCount(HIMAGELIST list);
// ImageList_SetImageCount: grows the list with blank images.
BOOL imageListSetImageCount(HIMAGELIST list, UINT count);
BOOL imageListReplace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask);
// ImageList_Copy with ILCF_MOVE within one list: the picture at `source` is
// copied to `destination`, both places existing.
BOOL imageListCopyWithin(HIMAGELIST list, int destination, int source);

// Thread identity, for the ownership checks.
DWORD currentThreadId();

// Milliseconds since a fixed moment (GetTickCount64).
ULONGLONG tickCount();
// Carries out the messages other threads and processes have sent to the
// calling thread (PeekMessageW with PM_QS_SENDMESSAGE, nothing removed from
// the queue). A send that is answered before anything arrives returns
// without doing so, and the keyboard hook is such a sent message.
void takeSentMessages();
// Icons of any size, drawn at the size of the switcher's image list.
// GetObjectW(bitmap, sizeof(BITMAP), ...): the bitmap's width and height.
BOOL getBitmapSize(HBITMAP bitmap, int *width, int *height);
// CopyImage(icon, IMAGE_ICON, cx, cy, 0): a new icon, the picture drawn at
// cx x cy; the caller destroys it with destroyIcon.
HICON copyIcon(HICON icon, int cx, int cy);
BOOL destroyIcon(HICON icon);

// Windows the desktop keeps out of sight: DwmGetWindowAttribute.
HRESULT dwmGetWindowAttribute(HWND hwnd, DWORD attribute, void *value, DWORD size);

// Points between the client areas of two windows (null: the screen), as a
// drag in the switcher dialog needs them in its tree view: MapWindowPoints.
int mapWindowPoints(HWND from, HWND to, POINT *points, UINT count);

}  // namespace desk
