// Programs run by tests without a shell: every argument reaches the program
// as it is, so paths with spaces or quotes in them need no quoting.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testproc {

struct Options {
  std::filesystem::path cwd;              // empty: the test's own
  std::filesystem::path out;              // standard output to this file (truncated); empty: the test's
  std::filesystem::path err;              // standard error likewise
  std::vector<std::string> unset;         // environment variables taken away
  std::vector<std::string> set;           // "NAME=value" entries added or replaced
  bool appendErr = false;                 // append to err instead of truncating it
  std::vector<std::pair<int, int>> fds;   // (the test's descriptor, the number the program sees it as)
};

// Runs argv[0] (looked up on PATH when it holds no slash) and waits for it.
// Answers its exit status, 128 + the signal that ended it, or -1 when it
// could not be started.
int run(const std::vector<std::string>& argv, const Options& options = {});

// Starts the program as run does, without waiting: its process id, or -1.
pid_t start(const std::vector<std::string>& argv, const Options& options = {});
// Waits for a started program and answers as run does.
int finish(pid_t pid);

// As run, and answers what the program wrote on standard output (options.out
// is ignored). status, when given, receives what run would answer.
std::string output(const std::vector<std::string>& argv, const Options& options = {}, int* status = nullptr);

}  // namespace testproc
