// vpack: makes content packages for the player.
#include <cstdio>
#include <cstring>

#include "tools/vpack/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

const Command kCommands[] = {
    {"pack", runPack, "vpack pack [--store] [--key FILE] SRC_DIR OUT.pkg"},
    {"embed", runEmbed, "vpack embed PLAYER PACKAGE OUT"},
};

int usage() {
  fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) fprintf(stderr, "  %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Command& c : kCommands) {
    if (strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  }
  fprintf(stderr, "vpack: unknown command \"%s\"\n", argv[1]);
  return usage();
}
