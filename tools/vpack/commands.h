// vpack's commands: each takes the arguments after its name and returns the
// process exit status.
#pragma once

int runPack(int argc, char** argv);
