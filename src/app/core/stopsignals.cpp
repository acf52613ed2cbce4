#include "app/core/stopsignals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int wakePipe[2] = {-1, -1};
constexpr int Caught[] = {SIGTERM, SIGINT, SIGHUP};

// Only what is safe in a signal handler: one byte, the signal number, into the pipe.
void onSignal(int signal) {
    const char c = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(wakePipe[1], &c, 1);
}
} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent) {
    if (wakePipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, wakePipe) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(wakePipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::onReadable);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signal : Caught)
        sigaction(signal, &sa, nullptr);
}

StopSignals::~StopSignals() {
    if (!m_notifier) return;
    for (int signal : Caught)
        std::signal(signal, SIG_DFL);
    m_notifier.reset();
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void StopSignals::onReadable() {
    char c = 0;
    if (::read(wakePipe[0], &c, 1) == 1) emit received(static_cast<unsigned char>(c));
}
