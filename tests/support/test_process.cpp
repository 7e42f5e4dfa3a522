#include "support/test_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace testproc {

namespace {

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The test's environment less what options take away or replace.
std::vector<std::string> environmentFor(const Options& options) {
  std::vector<std::string> drop = options.unset;
  for (const std::string& s : options.set) drop.push_back(nameOf(s));
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (std::find(drop.begin(), drop.end(), nameOf(entry)) == drop.end()) env.push_back(entry);
  }
  env.insert(env.end(), options.set.begin(), options.set.end());
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

int statusOf(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Starts the program; outFd, when not negative, becomes its standard output.
pid_t spawn(const std::vector<std::string>& argv, const Options& options, int outFd) {
  if (argv.empty()) return -1;
  std::vector<std::string> args = argv, env = environmentFor(options);
  std::vector<char*> argp = pointers(args), envp = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
  if (outFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  else if (!options.out.empty())
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  for (const auto& fd : options.fds) posix_spawn_file_actions_adddup2(&actions, fd.first, fd.second);
  if (!options.err.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.err.c_str(),
                                     O_WRONLY | O_CREAT | (options.appendErr ? O_APPEND : O_TRUNC), 0644);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

}  // namespace

pid_t start(const std::vector<std::string>& argv, const Options& options) { return spawn(argv, options, -1); }

int finish(pid_t pid) { return pid < 0 ? -1 : statusOf(pid); }

int run(const std::vector<std::string>& argv, const Options& options) { return finish(start(argv, options)); }

std::string output(const std::vector<std::string>& argv, const Options& options, int* status) {
  if (status) *status = -1;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return "";
  const pid_t pid = spawn(argv, options, pipeFds[1]);
  close(pipeFds[1]);
  std::string out;
  if (pid >= 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      out.append(buf, static_cast<size_t>(n));
    }
  }
  close(pipeFds[0]);
  if (pid >= 0) {
    const int s = statusOf(pid);
    if (status) *status = s;
  }
  return out;
}

}  // namespace testproc
