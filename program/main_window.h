// The program's entry and its main window: the window class, the message
// loop, the top-level window procedure with the About box and the language
// menu, which rebuilds window, engine and controller for a language code.
#pragma once

#include <memory>

#include "controller/byte_buffer.h"
#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
bool createMainWindow(HINSTANCE instance, int show);
// RCDATA 130 in a new owning buffer (empty when the program carries none:
// opening it then fails, and the window says so).
std::unique_ptr<ByteBuffer> copyEmbeddedPackage(HINSTANCE instance);
bool rebuildForLanguage();
LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The window whose controller is current, and the language code the menu
// chose ("" until then).
HWND mainWindow();
const char* chosenLanguage();
