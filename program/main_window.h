// The program's entry and its main window: the window class, the message
// loop, the top-level window procedure with the About box and the language
// menu, which rebuilds window, engine and controller for a language code.
#pragma once

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
bool createMainWindow(HINSTANCE instance, int show);
bool rebuildForLanguage();
LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The window whose controller is current, and the language code the menu
// chose ("" until then).
HWND mainWindow();
const char* chosenLanguage();
