// Picture transitions. See transition_win.h.
#include "display/transition_win.h"

// No effect yet: the picture appears with the caller's repaint.
int ShowWithTransition(HWND window, uint32_t* position, HBITMAP bitmap, int newX, int newY, int newWidth,
                       int newHeight, int oldX, int oldY, int oldWidth, int oldHeight, COLORREF background) {
    return 0;
}
