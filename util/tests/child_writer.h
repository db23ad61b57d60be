// For tests: a writer in another process, in the middle of a file until it is killed as kill -9
// (or Windows' TerminateProcess) kills: no destructor runs, nothing is cleaned up. On POSIX the
// test program forks; on Windows it starts itself again, and the copy becomes the writer before
// any test runs.
#pragma once

#include <cstdlib>
#include <string>

#include "util/pending_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qc::test {

namespace child_writer {

// Opens `folder`, writes `bytes` bytes into a pending file `name`, says so through `ready`,
// then waits to be killed.
[[noreturn]] inline void Become(const std::string& folder, const std::string& name,
                                std::size_t bytes, void (*ready)()) {
  try {
    OutputFolder out(folder);
    PendingFile file(out, name);
    file.write(std::string(bytes, 'x').data(), bytes);
    ready();
#ifdef _WIN32
    for (;;) ::Sleep(INFINITE);
#else
    for (;;) ::pause();
#endif
  } catch (...) {
    std::_Exit(1);
  }
}

#ifdef _WIN32
constexpr const char* kVariable = "QC_TEST_CHILD_WRITER";

// The copy of the test program started as a writer: folder, name and size in the variable, one
// per line.
inline bool RunIfAsked() {
  const char* task = std::getenv(kVariable);
  if (!task || !*task) return false;
  const std::string text(task);
  const auto first = text.find('\n');
  const auto second = text.find('\n', first + 1);
  Become(text.substr(0, first), text.substr(first + 1, second - first - 1),
         std::stoull(text.substr(second + 1)), [] {
           DWORD written = 0;
           ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), "1", 1, &written, nullptr);
         });
}
inline const bool kRanAsChild = RunIfAsked();
#endif

}  // namespace child_writer

class ChildWriter {
 public:
  ChildWriter(const std::string& folder, const std::string& name, std::size_t bytes) {
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0)) return;
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    const std::string task = folder + "\n" + name + "\n" + std::to_string(bytes);
    ::SetEnvironmentVariableA(child_writer::kVariable, task.c_str());
    char self[MAX_PATH * 4];
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write;
    start.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + std::string(self) + "\"";
    const bool started = ::CreateProcessA(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &start, &process_);
    ::SetEnvironmentVariableA(child_writer::kVariable, nullptr);
    ::CloseHandle(write);
    if (started) {
      char done = 0;
      DWORD got = 0;
      ok_ = ::ReadFile(read, &done, 1, &got, nullptr) && got == 1;
    }
    ::CloseHandle(read);
#else
    int ready[2];
    if (::pipe(ready) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      static int signal;
      signal = ready[1];
      child_writer::Become(folder, name, bytes, [] {
        const char done = 1;
        if (::write(signal, &done, 1) != 1) ::_exit(2);
      });
    }
    ::close(ready[1]);
    char done = 0;
    ok_ = ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
#endif
  }
  ~ChildWriter() {
    kill();
  }
  ChildWriter(const ChildWriter&) = delete;
  ChildWriter& operator=(const ChildWriter&) = delete;

  bool ready() const {
    return ok_;
  }

  void kill() {
#ifdef _WIN32
    if (!process_.hProcess) return;
    ::TerminateProcess(process_.hProcess, 137);
    ::WaitForSingleObject(process_.hProcess, INFINITE);
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
    process_ = {};
#else
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
#endif
  }

 private:
#ifdef _WIN32
  PROCESS_INFORMATION process_{};
#else
  pid_t pid_ = -1;
#endif
  bool ok_ = false;
};

}  // namespace qc::test
