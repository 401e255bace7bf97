#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/harvestoptions.h"
#include "engine/harveststate.h"
#include "engine/rundriver.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace mosscatch {

// The 50 ms tick: hands the top queued address to a free slot, or moves the
// run on to the next keyword once the current one has nothing left to fetch.
class Dispatcher : public QObject
{
    Q_OBJECT

public:
    // Where one address is fetched from and where its image goes.
    struct Route {
        QByteArray host;
        QByteArray path;
        QString folder;
        QByteArray fileName;
    };

    Dispatcher(const HarvestOptions &options, const HarvestState &state, AddressQueue &queue,
               ConnectionPool &pool, RunDriver &driver, QObject *parent = nullptr);

    static Route route(const QByteArray &address, const QString &keywordFolder);

public slots:
    void tick();

signals:
    // The keyword list was found empty with nothing left to fetch.
    void runOver();
    // An address was handed to slot index and its connection opened.
    void transferStarted(int index, const QByteArray &url);

private:
    void handOver();
    void dispatch(int index);

    const HarvestOptions &m_options;
    const HarvestState &m_state;
    AddressQueue &m_queue;
    ConnectionPool &m_pool;
    RunDriver &m_driver;
    bool m_runOverReported = false;
};

}
