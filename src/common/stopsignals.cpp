#include "common/stopsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace mosscatch {

namespace {

sigset_t stopSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    const sigset_t set = stopSet();
    m_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignal);
}

StopSignals::~StopSignals()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void StopSignals::block()
{
    const sigset_t set = stopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void StopSignals::readSignal()
{
    signalfd_siginfo info;
    int first = 0;
    while (::read(m_fd, &info, sizeof info) == ssize_t(sizeof info)) {
        if (first == 0)
            first = int(info.ssi_signo);
    }
    if (first != 0)
        emit stopRequested(first);
}

}
