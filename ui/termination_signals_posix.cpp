#include "ui/termination_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <csignal>

#include "ui/config_dialog.h"

namespace velkorin {
namespace {

// A signal handler may do next to nothing: it writes one byte into a pipe, and the window's
// thread reads it among its other events.
int signalPipe[2] = {-1, -1};

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaddset(&set, signal);
  return set;
}

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(ConfigDialog& window) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    window.RequestClose();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaction(signal, &action, nullptr);
  const sigset_t held = TerminationSignals();
  pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

void HoldTerminationSignals() {
  const sigset_t held = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace velkorin
