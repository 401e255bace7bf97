#pragma once

#include <QObject>

class QSocketNotifier;

namespace mosscatch {

// Turns SIGINT and SIGTERM into a signal on the event loop. The two are
// blocked for the whole process (call block() before any thread starts) and
// read from a signalfd, so no handler runs in signal context.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    static void block();

signals:
    // signal is SIGINT or SIGTERM, the first of those that arrived.
    void stopRequested(int signal);

private:
    void readSignal();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

}
