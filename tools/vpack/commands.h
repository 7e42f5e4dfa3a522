// vpack's commands: each takes the arguments after its name and returns the
// process exit status.
#pragma once

int runPack(int argc, char** argv);
// Writes a copy of a built player whose embedded package is the given one.
int runEmbed(int argc, char** argv);
