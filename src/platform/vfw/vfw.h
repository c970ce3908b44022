#pragma once

// The capture service: capture windows and their message set, shaped like the
// classic desktop capture API so that the program's capture code reads the same way.
//
// Threads: every function here is called on the UI thread (the thread that owns the
// widgets). A message to a handle that is 0, no longer alive, or sent from another
// thread answers 0. Texts cross this boundary as 8-bit text in the local code page.

#include "VfwTypes.h"

class QWidget;

// Creates a capture window as a child of `parent` (may be null: a top-level window).
// WS_VISIBLE in `style` shows it. Gives its handle, 0 on failure.
HWND capCreateCaptureWindowA(const char* name, DWORD style, int x, int y, int width, int height,
                             QWidget* parent, int id);

// Describes driver `index` (0-based: the cameras in node order, then the test
// pattern). Copies NUL-terminated texts, cut to the buffer sizes. FALSE when no
// driver has that index.
BOOL capGetDriverDescriptionA(UINT index, char* name, int nameSize, char* version, int versionSize);

// Sends a capture message to a capture window and gives its answer (0 = failure).
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Disconnects and destroys a capture window. FALSE for 0 or a dead handle.
BOOL DestroyWindow(HWND window);

// Moves and sizes a capture window within its parent (SWP_NOMOVE, SWP_NOSIZE honoured;
// `insertAfter` and the z-order are ignored). FALSE for 0 or a dead handle.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
