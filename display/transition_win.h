// Picture transitions on the window: draws the plans of transition.h step by
// step from a memory device context onto the window's device context, waits
// between steps and stops when the stylus is lifted.
//
// Runs on the thread that owns the window and blocks it for the whole effect
// (about a second); the only input looked at meanwhile is a stylus release.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "display/transition.h"

// Draws the new picture (the screen bitmap, shown at newWidth x newHeight at
// newX, newY in the window's client area, where the old picture was at oldX,
// oldY, oldWidth x oldHeight) with the next effect of the run's shuffled
// order; *position is the view's place in that order and moves on by one.
// Returns 1 when the user lifted the stylus during the effect, else 0. The
// caller repaints the window afterwards in any case.
int ShowWithTransition(HWND window, uint32_t* position, HBITMAP bitmap, int newX, int newY, int newWidth,
                       int newHeight, int oldX, int oldY, int oldWidth, int oldHeight, COLORREF background);

// Waits one step of delay milliseconds without using the processor. Returns
// 1 at once, removing exactly that message from the queue, when a
// WM_LBUTTONUP for any window of the thread is waiting; else 0 once more than
// the delay has passed (or the tick count went backwards). A delay of 0
// returns 0 at once and leaves the queue alone.
int TransitionWaitStep(DWORD delay);

// A new bitmap compatible with dc, canvasWidth x canvasHeight, filled with the
// background colour and the picture stretched to pictureWidth x
// pictureHeight at its centre ((canvas - picture) / 2 per axis). The caller
// deletes it. nullptr when it cannot be made.
HBITMAP TransitionCentreOnBackground(HDC dc, HBITMAP picture, int canvasWidth, int canvasHeight, int pictureWidth,
                                     int pictureHeight, COLORREF background);

// Runs one effect over the geometry: canvasDC holds the canvas, or the part
// of it whose top-left corner is the canvas point origin. Waits delay
// milliseconds after each step; returns 1 when a stylus release stopped it,
// else 0. An unknown effect draws nothing.
int RunTransitionEffect(int effect, HDC canvasDC, POINT origin, const TransitionGeometry& geometry, HDC screenDC,
                        HBRUSH background, DWORD delay, int steps);

// Draws the operations of one step and flushes them to the screen.
void DrawTransitionStep(HDC screenDC, HDC canvasDC, POINT origin, HBRUSH background,
                        const std::vector<TransitionOp>& ops);

// The wait between the steps of a transition that ShowWithTransition shows:
// kTransitionStepDelayMs unless changed. Tests shorten it (1 still lets a
// stylus release stop an effect; 0 does not wait or look for one).
void SetTransitionStepDelay(DWORD delay);
DWORD TransitionStepDelay();

// Replaces the random source of the shuffled order (rand() by default) and
// forgets the order built so far. For tests.
void SetTransitionRandomSource(TransitionRandom random, void* user);
