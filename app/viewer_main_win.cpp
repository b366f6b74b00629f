// The entry of viewer.exe.
#include "app/viewer_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showCommand) {
    return AppMain(instance, previous, commandLine, showCommand);
}
