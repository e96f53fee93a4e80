// The program's entry: start-up, then the main thread's message loop.
//
// Threads: this thread is the main thread. It owns the model (see
// model/threading.h), runs MainWndProc and is the thread the system calls
// KeyboardHookProc on. The switcher thread is started per switch by
// MainWndProc.
#include "log/logfile_win32.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "shell/globals_win32.h"
#include "shell/startup_win32.h"
#include "shell/switchstate_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    plrSetModelThread();
    installSwitchPlatform();

    // The arguments are not used: no command line, no show state.
    g_hInstance = GetModuleHandleW(nullptr);
    readSettings();
    openLog(kLogFileName, desk::messageBox);
    selectRootGroup();
    loadHungWindowTest();
    installKeyboardHook();
    registerMainWindowClass();
    HWND mainWindow = createMainWindow();
    findShellWindow();

    // Without the main window nothing would ever post WM_QUIT: the process
    // would wait forever with no tray icon and no hotkeys, so it ends.
    const int exitCode = mainWindow != nullptr ? runMessageLoop() : 0;

    releaseKeyboardHook();
    closeLogFile();
    return exitCode;
}
