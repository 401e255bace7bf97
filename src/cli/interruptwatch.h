#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace mosscatch {

// Turns SIGINT and SIGTERM into a signal on the event loop, so a run ends
// through the normal shut-down path (temporary files removed).
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    bool wasInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_interrupted = false;
};

}
