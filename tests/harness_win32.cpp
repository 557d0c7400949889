#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// The command line that the C runtime parses back into exactly these words.
std::wstring commandLine(const std::vector<std::string>& args) {
  std::wstring line;
  for (const auto& arg : args) {
    if (!line.empty()) line += L' ';
    const std::wstring w = wide(arg);
    if (!w.empty() && w.find_first_of(L" \t\"") == std::wstring::npos) {
      line += w;
    } else {
      line += L'"' + w + L'"';  // the tests' words hold no quotes
    }
  }
  return line;
}

std::wstring environmentBlock(const std::vector<std::string>& extra) {
  std::wstring block;
  wchar_t* env = GetEnvironmentStringsW();
  for (const wchar_t* e = env; *e != L'\0'; e += wcslen(e) + 1) block.append(e).push_back(L'\0');
  FreeEnvironmentStringsW(env);
  for (const auto& e : extra) block.append(wide(e)).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

struct Child {
  PROCESS_INFORMATION pi{};
  HANDLE out = nullptr;  // read end of its standard output
  HANDLE in = nullptr;   // write end of its standard input
};

Child spawn(const Launch& launch, bool pipeOut, bool pipeIn) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Child child;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE childOut = nullptr;
  HANDLE childIn = nullptr;
  if (pipeOut) {
    EXPECT_TRUE(CreatePipe(&child.out, &childOut, &inherit, 0));
    SetHandleInformation(child.out, HANDLE_FLAG_INHERIT, 0);
    si.hStdOutput = childOut;
  }
  if (pipeIn) {
    EXPECT_TRUE(CreatePipe(&childIn, &child.in, &inherit, 0));
    SetHandleInformation(child.in, HANDLE_FLAG_INHERIT, 0);
    si.hStdInput = childIn;
  }
  std::wstring cmd = commandLine(launch.args);
  std::wstring env = environmentBlock(launch.env);
  const BOOL ok = CreateProcessW(launch.program.wstring().c_str(), cmd.data(), nullptr, nullptr,
                                 TRUE, CREATE_UNICODE_ENVIRONMENT, env.data(),
                                 launch.cwd.wstring().c_str(), &si, &child.pi);
  EXPECT_TRUE(ok) << "CreateProcess " << utf8(launch.program) << ": " << GetLastError();
  if (childOut != nullptr) CloseHandle(childOut);
  if (childIn != nullptr) CloseHandle(childIn);
  return child;
}

int waitFor(HANDLE process, HANDLE thread) {
  DWORD status = 0;
  if (process == nullptr) return -1;
  EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
  GetExitCodeProcess(process, &status);
  CloseHandle(process);
  CloseHandle(thread);
  return static_cast<int>(status);
}

}  // namespace

Outcome runProgram(const Launch& launch) {
  const Child child = spawn(launch, true, false);
  Outcome outcome;
  outcome.pid = static_cast<long>(child.pi.dwProcessId);
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(child.out, buf, sizeof buf, &n, nullptr) && n > 0) outcome.out.append(buf, n);
  CloseHandle(child.out);
  outcome.status = waitFor(child.pi.hProcess, child.pi.hThread);
  return outcome;
}

HeldProgram::HeldProgram(const Launch& launch) {
  const Child child = spawn(launch, false, true);
  process_ = child.pi.hProcess;
  thread_ = child.pi.hThread;
  input_ = child.in;
}

HeldProgram::~HeldProgram() {
  CloseHandle(input_);
  waitFor(process_, thread_);
}

fs::path buildDir() {
  wchar_t self[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  return fs::path(std::wstring(self, n)).parent_path();
}
