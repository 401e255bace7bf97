#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/transfercontext.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

namespace mosscatch {

// The live figures of the window: one row per working connection, the queue
// length, the total received and the speed.
class HarvestStatistics : public QObject
{
    Q_OBJECT

public:
    struct ConnectionRow
    {
        QString status;
        QString url;
        QString size;
        QString percent;
        // A connection kept open between transfers, shown greyed.
        bool kept = false;
    };

    HarvestStatistics(const ConnectionPool &pool, const AddressQueue &queue,
                      const TransferContext &transfers, QObject *parent = nullptr);

    static QString sockStateName(int code);

    // Row of working slot i (1 to count - 1) is rows()[i - 1].
    const QList<ConnectionRow> &rows() const { return m_rows; }
    // Sizes are formatted from 64-bit counts, so figures beyond 2^31 bytes
    // show correctly.
    QString queueText() const { return m_queueText; }
    QString totalText() const { return m_totalText; }
    QString speedText() const { return m_speedText; }
    // "waiting for HOST: 30 s" while a transfer waits for its host's hold;
    // empty otherwise.
    QString waitText() const { return m_waitText; }

    // The speed over elapsedMs, which the speed tick measures.
    void speedTick(qint64 elapsedMs);
    // The first speed tick measures from here.
    void startSpeedClock();

public slots:
    // With only the template connection, changes nothing at all.
    void updateStats();
    // The speed over the time since the previous speed tick or the clock's start.
    void speedTick();

signals:
    void updated();
    void speedUpdated();

private:
    ConnectionRow rowFor(int index) const;

    const ConnectionPool &m_pool;
    const AddressQueue &m_queue;
    const TransferContext &m_transfers;
    QList<ConnectionRow> m_rows;
    QString m_queueText = QStringLiteral("0");
    QString m_totalText = QStringLiteral("0");
    QString m_speedText = QStringLiteral("0");
    QString m_waitText;
    qint64 m_previousTotal = 0;
    QElapsedTimer m_speedClock;
};

}
