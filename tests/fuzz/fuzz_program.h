// Byte programs over the whole scene API. The input drives program.lua (the
// package's init.lua): it picks constructors, methods of the handles made so
// far and global functions, with arguments of the kinds the scripting
// reference gives each parameter (now and then a hostile value instead), and
// between them frames, mouse moves and clicks, keys, the wheel, window
// sizes, the close event and device reports. Callbacks the program sets run
// further steps of it from inside the frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace fuzz {

// Runs one program in a new player: the package with the program media,
// the engine, the fixed mixer and, when dc is not null, a renderer on the
// hidden window drawing every frame into it.
void runProgram(const uint8_t* data, size_t size, HDC dc);

}  // namespace fuzz
