// The main dialog of a bake invocation (template 101) and its four tab pages
// (templates 103 to 106, one child dialog per BakeMode). The dialog holds the
// user's BakeSettings in the plug-in state, switches the mode with its tab
// control, builds the texel table, runs a bake and writes the BMP file; the
// work itself is done by the texel table, bake pass, average distance and BMP
// modules it calls, synchronously, inside its command handlers.
//
// Both procedures follow the dialog-procedure contract: they return whether
// they handled the message and never call DefWindowProc.
//
// Decided here: a texture size for which no table can be built (below 1, or
// too large to allocate) builds no table and leaves "BMPを作成" disabled; the
// average-distance command without a table for the current texture size
// leaves the search-distance edit unchanged.
#pragma once

#include "win32.h"

// Dialog procedure of template 101.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Dialog procedure shared by the four pages.
INT_PTR CALLBACK PageDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Takes the light from the page of the current mode when that is the Shade or
// Shadow page, then shows it, without decimals, on both light pages.
void SyncLightPosition();
