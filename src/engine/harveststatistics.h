#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/harveststate.h"

#include <QList>
#include <QObject>
#include <QString>

namespace mosscatch {

// The live figures of the window: one row per working connection, the queue
// length, the total received and the speed. Also sets the queue-filled flag.
class HarvestStatistics : public QObject
{
    Q_OBJECT

public:
    struct ConnectionRow {
        QString status;
        QString url;
        QString size;
        QString percent;
    };

    // The speed tick's interval; the speed divides by it.
    static constexpr double SpeedTickSeconds = 2;

    HarvestStatistics(const ConnectionPool &pool, const AddressQueue &queue, HarvestState &state,
                      QObject *parent = nullptr);

    static QString sockStateName(int code);

    // Row of working slot i (1 to count - 1) is rows()[i - 1].
    const QList<ConnectionRow> &rows() const { return m_rows; }
    // Sizes are formatted from 64-bit counts, so figures beyond 2^31 bytes
    // show correctly.
    QString queueText() const { return m_queueText; }
    QString totalText() const { return m_totalText; }
    QString speedText() const { return m_speedText; }

public slots:
    // With only the template connection, changes nothing at all.
    void updateStats();
    void speedTick();

signals:
    void updated();
    void speedUpdated();

private:
    ConnectionRow rowFor(int index) const;

    const ConnectionPool &m_pool;
    const AddressQueue &m_queue;
    HarvestState &m_state;
    QList<ConnectionRow> m_rows;
    QString m_queueText = QStringLiteral("0");
    QString m_totalText = QStringLiteral("0");
    QString m_speedText = QStringLiteral("0");
    double m_previousTotal = 0;
};

}
