#include "cli/runrecorder.h"

#include "cli/imageestimate.h"
#include "engine/transferroute.h"

#include <QFileInfo>
#include <QJsonArray>

#include <utility>

namespace mosscatch {

RunRecorder::RunRecorder(HarvestEngine &engine, QObject *parent) : QObject(parent), m_engine(engine)
{
    m_runClock.start();
    connect(&engine, &HarvestEngine::keywordStarted, this, &RunRecorder::beginKeyword);
    connect(&engine, &HarvestEngine::runOver, this, [this] {
        finishKeyword();
        emit runFinished();
    });
    connect(&engine, &HarvestEngine::imageCommitted, this, &RunRecorder::countImage);
    connect(engine.pool(), &ConnectionPool::socksLoaded, this,
            [this](int count) { m_connections = std::max(m_connections, count - 1); });
    connect(engine.statistics(), &HarvestStatistics::updated, this,
            &RunRecorder::readExpectedImages);
    connect(&engine, &HarvestEngine::pageFetched, this, [this] {
        if (KeywordFigures *figures = active())
            ++figures->pages;
    });
    connect(&engine, &HarvestEngine::addressGivenUp, this, &RunRecorder::countGivenUp);
    connect(&engine, &HarvestEngine::certificateRejected, this,
            [this](const QByteArray &host, const QString &reason) {
                Rejections &rejections = m_rejections[host];
                ++rejections.count;
                rejections.reason = reason;
                m_lastFailure = reason;
            });
    connect(&engine, &HarvestEngine::connectionFailed, this,
            [this](const QByteArray &host, const QString &reason) {
                m_connectionFailure = QString::fromLatin1(host) + QStringLiteral(": ") + reason;
                m_lastFailure = m_connectionFailure;
            });
    connect(&engine, &HarvestEngine::nameRefused, this,
            [this](const QByteArray &, const QString &reason) { m_lastFailure = reason; });
    connect(&engine, &HarvestEngine::transferRetried, this, [this] {
        if (KeywordFigures *figures = active())
            ++figures->retries;
    });
    connect(&engine, &HarvestEngine::transferStarted, this, [this] {
        if (KeywordFigures *figures = active())
            ++figures->transfers;
    });
    connect(&engine, &HarvestEngine::keywordCutShort, this, [this] {
        if (KeywordFigures *figures = active())
            figures->cutShort = true;
    });
    connect(&engine, &HarvestEngine::writingStopped, this, [this](const WriteError &error) {
        if (!m_writeError)
            m_writeError = error;
    });
    connect(&engine, &HarvestEngine::keywordFailed, this,
            [this](const QString &, const QString &reason) {
                if (KeywordFigures *figures = active(); figures && figures->failure.isEmpty())
                    figures->failure = reason;
            });
}

KeywordFigures *RunRecorder::active()
{
    return m_running && !m_keywords.isEmpty() ? &m_keywords.last() : nullptr;
}

KeywordFigures RunRecorder::current() const
{
    if (!m_running || m_keywords.isEmpty())
        return {};
    KeywordFigures figures = m_keywords.last();
    figures.bytesReceived = m_engine.totalReceived() - m_receivedAtStart;
    figures.elapsedSeconds = double(m_keywordClock.elapsed()) / 1000.0;
    figures.refused = refusedSinceStart() - m_refusedAtStart;
    return figures;
}

void RunRecorder::beginKeyword(const QString &keyword)
{
    finishKeyword();
    m_keywords.append(KeywordFigures{.keyword = keyword});
    m_receivedAtStart = m_engine.totalReceived();
    m_refusedAtStart = refusedSinceStart();
    m_keywordClock.start();
    m_running = true;
}

qint64 RunRecorder::refusedSinceStart() const
{
    return m_engine.queue()->refusedForRoom() + m_engine.scraper()->refusedPhotos();
}

void RunRecorder::countGivenUp(const QByteArray &url)
{
    const QString reason = std::exchange(m_lastFailure, QString());
    KeywordFigures *figures = active();
    if (!figures)
        return;
    ++figures->givenUp;
    if (!TransferRoute::of(url, {}).path.contains(".jpg"))
        return;
    ++figures->imagesGivenUp;
    if (!reason.isEmpty())
        ++m_imageFailures[reason];
}

bool RunRecorder::noImageSaved() const
{
    const bool givenUp = std::any_of(m_keywords.begin(), m_keywords.end(),
                                     [](const KeywordFigures &k) { return k.imagesGivenUp > 0; });
    return givenUp && imagesSaved() == 0;
}

QString RunRecorder::commonestImageFailure() const
{
    const auto most = std::max_element(m_imageFailures.cbegin(), m_imageFailures.cend());
    return most == m_imageFailures.cend() ? QString() : most.key();
}

// The pool forgets its hosts down when the next keyword starts, after this.
void RunRecorder::finishKeyword()
{
    if (!m_running)
        return;
    readExpectedImages();
    m_keywords.last() = current();
    m_keywords.last().hostsDown = m_engine.pool()->cache().hostsDown().entries();
    m_running = false;
    emit keywordFinished(m_keywords.last());
}

void RunRecorder::finishRun()
{
    m_stoppedEarly = m_running;
    finishKeyword();
}

int RunRecorder::imagesSaved() const
{
    int images = 0;
    for (const KeywordFigures &k : m_keywords)
        images += k.images();
    return images;
}

void RunRecorder::countImage(const QString &, SizeFolder folder)
{
    KeywordFigures *figures = active();
    if (!figures)
        return;
    switch (folder) {
    case SizeFolder::Thumbnail:
        ++figures->thumbnails;
        break;
    case SizeFolder::Largest:
        ++figures->largest;
        break;
    case SizeFolder::Standard:
        ++figures->standard;
        break;
    }
}

void RunRecorder::readExpectedImages()
{
    KeywordFigures *figures = active();
    if (!figures || figures->expectationKnown() || m_engine.scraper()->resultPageCount() == 0)
        return;
    const HarvestOptions &options = m_engine.options();
    const ImageEstimate estimate
            = ImageEstimate::of(m_engine.scraper()->walker().lastResultCount(), options.maxImages(),
                                options.thumbnails(), options.standard(), options.largest());
    figures->expectedImages = estimate.images;
    figures->expectedApproximate = estimate.approximate;
}

bool RunRecorder::anyTransferSucceeded() const
{
    return std::any_of(m_keywords.begin(), m_keywords.end(),
                       [](const KeywordFigures &k) { return k.pages + k.images() > 0; });
}

bool RunRecorder::anyTransferStarted() const
{
    return std::any_of(m_keywords.begin(), m_keywords.end(),
                       [](const KeywordFigures &k) { return k.transfers > 0; });
}

bool RunRecorder::anyKeywordFailed() const
{
    return std::any_of(m_keywords.begin(), m_keywords.end(),
                       [](const KeywordFigures &k) { return !k.failure.isEmpty(); });
}

QString RunRecorder::certificateProblem() const
{
    const auto most = std::max_element(
            m_rejections.cbegin(), m_rejections.cend(),
            [](const Rejections &a, const Rejections &b) { return a.count < b.count; });
    return most == m_rejections.cend() ? QString() : most->reason;
}

QJsonObject RunRecorder::summary() const
{
    KeywordFigures total{.keyword = {}};
    QJsonArray keywords;
    for (const KeywordFigures &k : m_keywords) {
        keywords.append(k.toJson());
        total.thumbnails += k.thumbnails;
        total.standard += k.standard;
        total.largest += k.largest;
        total.pages += k.pages;
        total.givenUp += k.givenUp;
        total.imagesGivenUp += k.imagesGivenUp;
        total.retries += k.retries;
        total.transfers += k.transfers;
        total.bytesReceived += k.bytesReceived;
        if (k.expectationKnown())
            total.expectedImages = std::max(total.expectedImages, 0) + k.expectedImages;
        total.expectedApproximate = total.expectedApproximate || k.expectedApproximate;
        total.refused += k.refused;
    }
    total.elapsedSeconds = double(m_runClock.elapsed()) / 1000.0;
    QJsonObject totals = total.toJson();
    for (const char *field : {"keyword", "cutShort", "failed", "failure"})
        totals.remove(QLatin1String(field));
    totals.insert(QStringLiteral("keywordsFailed"),
                  int(std::count_if(m_keywords.begin(), m_keywords.end(),
                                    [](const KeywordFigures &k) { return !k.failure.isEmpty(); })));
    totals.insert(QStringLiteral("keywordsCutShort"),
                  int(std::count_if(m_keywords.begin(), m_keywords.end(),
                                    [](const KeywordFigures &k) { return k.cutShort; })));
    totals.insert(QStringLiteral("keywords"), int(m_keywords.size()));
    QJsonObject rejected;
    for (auto host = m_rejections.cbegin(); host != m_rejections.cend(); ++host) {
        rejected.insert(QString::fromLatin1(host.key()),
                        QJsonObject{{QStringLiteral("count"), host->count},
                                    {QStringLiteral("reason"), host->reason}});
    }
    totals.insert(QStringLiteral("certificatesRejected"), rejected);
    QList<HostsDown::Entry> hostsDown;
    for (const KeywordFigures &k : m_keywords)
        hostsDown += k.hostsDown;
    totals.insert(QStringLiteral("hostsDown"), KeywordFigures::toJson(hostsDown));
    totals.insert(QStringLiteral("transfersPerSecond"),
                  total.elapsedSeconds > 0 ? total.transfers / total.elapsedSeconds : 0.0);
    QJsonValue writeError;
    if (m_writeError)
        writeError = QJsonObject{{QStringLiteral("reason"), m_writeError->reason()},
                                 {QStringLiteral("path"), m_writeError->folder}};
    return {{QStringLiteral("speedMultiple"), m_engine.options().speedMultiple()},
            {QStringLiteral("connections"), m_connections},
            {QStringLiteral("keywords"), keywords},
            {QStringLiteral("totals"), totals},
            {QStringLiteral("writeError"), writeError}};
}

}
