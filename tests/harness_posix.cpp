#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "harness.h"

namespace {

// fork and execve with exactly the given argument words, so argv[0] may be
// anything (or missing). Returns the child and the read end of its output.
pid_t spawn(const Launch& launch, int* out) {
  std::vector<char*> argv;
  for (const auto& arg : launch.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  for (const auto& e : launch.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int outPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2";
  const std::string program = launch.program.string();
  const std::string cwd = launch.cwd.string();

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  *out = outPipe[0];
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Outcome runProgram(const Launch& launch) {
  int out = -1;
  Outcome outcome;
  outcome.pid = spawn(launch, &out);
  char buf[4096];
  ssize_t n = 0;
  while ((n = ::read(out, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) outcome.out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out);
  outcome.status = waitFor(static_cast<pid_t>(outcome.pid));
  return outcome;
}

fs::path buildDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }
