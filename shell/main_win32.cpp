#include "platform/win32types.h"
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
