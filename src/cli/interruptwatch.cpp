#include "cli/interruptwatch.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace mosscatch {

namespace {

// The one thing a signal handler may touch: the write end of a socket pair.
int signalSocket[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSocket[0], &byte, 1);
}

}

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSocket) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(signalSocket[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalSocket[1], &byte, 1);
        m_interrupted = true;
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

InterruptWatch::~InterruptWatch()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    m_notifier.reset();
    for (int &fd : signalSocket) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

}
