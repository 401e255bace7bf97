#include "engine/httpexchange.h"

namespace mosscatch {

HttpExchange::HttpExchange(ConnectionPool &pool, PageScraper &scraper, HarvestState &state,
                           QObject *parent)
    : QObject(parent), m_pool(pool), m_scraper(scraper), m_state(state)
{
}

void HttpExchange::onConnected(int) {}
void HttpExchange::onDataArrival(int) {}
void HttpExchange::onPeerClosed(int) {}

}
