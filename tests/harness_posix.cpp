#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "harness.h"

namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output, or -1
  int in = -1;   // its standard input, or -1
};

// fork and execve with exactly the given argument words, so argv[0] may be
// anything (or missing).
Child spawn(const Launch& launch, bool pipeOut, bool pipeIn) {
  std::vector<char*> argv;
  for (const auto& arg : launch.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  for (const auto& e : launch.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int outPipe[2] = {-1, -1};
  int inPipe[2] = {-1, -1};
  if (pipeOut && ::pipe2(outPipe, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2";
  if (pipeIn && ::pipe2(inPipe, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2";
  const std::string program = launch.program.string();
  const std::string cwd = launch.cwd.string();

  Child child;
  child.pid = ::fork();
  if (child.pid == 0) {
    if (pipeOut) ::dup2(outPipe[1], STDOUT_FILENO);
    const int in = pipeIn ? inPipe[0] : ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (pipeOut) {
    ::close(outPipe[1]);
    child.out = outPipe[0];
  }
  if (pipeIn) {
    ::close(inPipe[0]);
    child.in = inPipe[1];
  }
  return child;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Outcome runProgram(const Launch& launch) {
  const Child child = spawn(launch, true, false);
  Outcome outcome;
  outcome.pid = child.pid;
  char buf[4096];
  ssize_t n = 0;
  while ((n = ::read(child.out, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) outcome.out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(child.out);
  outcome.status = waitFor(child.pid);
  return outcome;
}

struct HeldProgram::State {
  Child child;
};

HeldProgram::HeldProgram(const Launch& launch) : state_(new State{spawn(launch, false, true)}) {}

HeldProgram::~HeldProgram() {
  ::close(state_->child.in);
  waitFor(state_->child.pid);
  delete state_;
}

fs::path buildDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }
