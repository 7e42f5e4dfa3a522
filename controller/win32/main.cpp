// The program's entry outside Windows: the command line is not read.
#ifndef _WIN32
#include "controller/win32/main_window.h"

int main() {
  char none[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, none, SW_SHOWDEFAULT);
}
#endif
