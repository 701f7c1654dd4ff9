// Console control handlers over the host's signals, and _isatty.
//
// The signal handler only writes the signal's number into a pipe (async-signal-safe, never
// blocking: a full pipe drops the byte, as a burst of Ctrl+C collapses on the platform); one
// dispatcher thread reads the pipe and calls the handlers outside any signal context.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vorm/platform/console.h>
#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"

namespace {

using VormLastError_details::Fail;

constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM};

struct ConsoleState {
  std::mutex lock;
  std::vector<PHANDLER_ROUTINE> handlers;  // in the order added
  bool ignoreCtrlC = false;
  bool installed = false;
};

ConsoleState& State() {
  static ConsoleState* state = new ConsoleState;  // outlives every thread, never destroyed
  return *state;
}

int g_pipeWrite = -1;  // set once before the signal handlers are installed

DWORD EventOf(int signal) {
  switch (signal) {
    case SIGINT: return CTRL_C_EVENT;
    case SIGHUP: return CTRL_CLOSE_EVENT;
    default: return CTRL_SHUTDOWN_EVENT;
  }
}

extern "C" void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(g_pipeWrite, &byte, 1);
  errno = saved;
}

// The default action: the process ends by the signal, as if no handler had been added.
[[noreturn]] void EndBy(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);  // only if the signal did not end the process
}

void Dispatch(int signal) {
  const DWORD event = EventOf(signal);
  std::vector<PHANDLER_ROUTINE> handlers;
  {
    ConsoleState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    if (event == CTRL_C_EVENT && state.ignoreCtrlC) return;
    handlers = state.handlers;
  }
  // Most recently added first; a handler may add or remove handlers while it runs.
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
    if ((*it)(event)) return;
  }
  EndBy(signal);
}

void DispatchLoop(int readFd) {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t got = read(readFd, &byte, 1);
    if (got == 1) {
      Dispatch(byte);
    } else if (got == 0 || errno != EINTR) {
      return;
    }
  }
}

// Takes the signals over once: the pipe, the dispatcher thread, then the handlers. Called
// with the state locked. Returns the error, or ERROR_SUCCESS.
DWORD Install(ConsoleState& state) {
  if (state.installed) return ERROR_SUCCESS;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return VormErrorFromErrno(errno);
  if (fcntl(fds[1], F_SETFL, O_NONBLOCK) != 0) {
    const DWORD error = VormErrorFromErrno(errno);
    close(fds[0]);
    close(fds[1]);
    return error;
  }
  try {
    std::thread(DispatchLoop, fds[0]).detach();
  } catch (const std::system_error&) {
    close(fds[0]);
    close(fds[1]);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  g_pipeWrite = fds[1];
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
  state.installed = true;
  return ERROR_SUCCESS;
}

}  // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  ConsoleState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  if (add) {
    if (const DWORD error = Install(state)) return Fail(error, FALSE);
  }
  if (!handler) {
    state.ignoreCtrlC = add != FALSE;
    return TRUE;
  }
  if (add) {
    try {
      state.handlers.push_back(handler);
    } catch (const std::bad_alloc&) {
      return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    return TRUE;
  }
  const auto found = std::find(state.handlers.rbegin(), state.handlers.rend(), handler);
  if (found == state.handlers.rend()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  state.handlers.erase(std::next(found).base());
  return TRUE;
}

int _isatty(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) ? 1 : 0;
}
