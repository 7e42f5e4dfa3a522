// vpack embed: a copy of a built player whose RCDATA 130 is another package.
#include <cstdio>
#include <string>

#include "platform/payload.h"
#include "tools/vpack/commands.h"

int runEmbed(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: vpack embed PLAYER PACKAGE OUT\n");
    return 2;
  }
  std::string error;
  if (!vsplat::embedPayloadFile(argv[0], argv[1], argv[2], &error)) {
    fprintf(stderr, "vpack embed: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
