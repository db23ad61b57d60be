#include "util/tests/sync_calls.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace qc::test {

namespace {

struct Failure {
  std::string call;
  int error = 0;
  std::string path;
};

struct State {
  std::mutex mutex;
  SyncCalls* recorder = nullptr;
  std::vector<SyncCall> calls;
  std::vector<Failure> failures;
};

State& Shared() {
  static State state;
  return state;
}

std::string PathOf(int fd) {
  char buffer[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// What the call is to do: 0 to go ahead, an error number to fail with.
int Intercept(const char* name, int fd) {
  State& state = Shared();
  std::function<void(const SyncCall&)> during;
  SyncCall call;
  int error = 0;
  {
    std::lock_guard lock(state.mutex);
    if (!state.recorder) return 0;
    call = {name, PathOf(fd)};
    state.calls.push_back(call);
    for (auto it = state.failures.begin(); it != state.failures.end(); ++it) {
      if (it->call == name && (it->path.empty() || it->path == call.path)) {
        error = it->error;
        state.failures.erase(it);
        break;
      }
    }
    during = state.recorder->during;
  }
  if (during) during(call);
  return error;
}

}  // namespace

SyncCalls::SyncCalls() {
  std::lock_guard lock(Shared().mutex);
  if (Shared().recorder) std::abort();  // one at a time
  Shared().recorder = this;
  Shared().calls.clear();
  Shared().failures.clear();
}

SyncCalls::~SyncCalls() {
  std::lock_guard lock(Shared().mutex);
  Shared().recorder = nullptr;
}

std::vector<SyncCall> SyncCalls::calls() const {
  std::lock_guard lock(Shared().mutex);
  return Shared().calls;
}

std::size_t SyncCalls::count(const std::string& call) const {
  std::size_t n = 0;
  for (const auto& c : calls()) n += c.call == call ? 1 : 0;
  return n;
}

void SyncCalls::failNext(std::string call, int error, std::string path) {
  std::lock_guard lock(Shared().mutex);
  Shared().failures.push_back({std::move(call), error, std::move(path)});
}

}  // namespace qc::test

extern "C" int fsync(int fd) {
  if (const int error = qc::test::Intercept("fsync", fd); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int syncfs(int fd) {
  if (const int error = qc::test::Intercept("syncfs", fd); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_syncfs, fd));
}
