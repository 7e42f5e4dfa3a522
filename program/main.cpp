// The program's entry outside Windows: the command line is not read.
#ifndef _WIN32
#include "program/main_window.h"
#include "program/resources.h"

int main() {
  CTRL_installProgramResources();
  char none[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, none, SW_SHOWDEFAULT);
}
#endif
