#include "engine/connectionpool.h"

namespace mosscatch {

ConnectionPool::ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                               QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_options(options)
{
}

int ConnectionPool::count() const { return 1; }
SlotRecord &ConnectionPool::record(int index) { return m_records.at(size_t(index)); }
const SlotRecord &ConnectionPool::record(int index) const { return m_records.at(size_t(index)); }
Connection *ConnectionPool::connection(int) const { return nullptr; }
void ConnectionPool::loadSocks() {}
void ConnectionPool::unloadSocks() {}
int ConnectionPool::nextEmptySock() const { return 0; }
bool ConnectionPool::allWorkingSlotsFree() const { return true; }
void ConnectionPool::resetSock(int) {}
void ConnectionPool::retrySock(int) {}
void ConnectionPool::timeoutTick() {}

}
