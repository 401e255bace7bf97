#pragma once

#include "cli/keywordfigures.h"
#include "engine/harvestengine.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>

#include <optional>

namespace mosscatch {

// Counts, per keyword, what the engine reports while it harvests.
class RunRecorder : public QObject
{
    Q_OBJECT

public:
    explicit RunRecorder(HarvestEngine &engine, QObject *parent = nullptr);

    const QList<KeywordFigures> &keywords() const { return m_keywords; }
    // The keyword being harvested, with its figures so far.
    KeywordFigures current() const;
    bool isRunning() const { return m_running; }
    // True when at least one page or image came through.
    bool anyTransferSucceeded() const;
    bool anyTransferStarted() const;
    bool anyKeywordFailed() const;
    // The reason a host's certificate was last rejected for, of the host
    // rejected most often; empty when none was.
    QString certificateProblem() const;
    // "host: reason" of the last address given up for a failed connection.
    QString connectionFailure() const { return m_connectionFailure; }
    // Images were given up and none saved: the run fetched nothing it was for.
    bool noImageSaved() const;
    // Why most of the images given up were, naming the host: a certificate's
    // fault, or "host: reason"; empty when no reason was told.
    QString commonestImageFailure() const;
    QJsonObject summary() const;
    // Closes the figures of a keyword cut short (an interrupted run, or one
    // that could not write).
    void finishRun();
    // True once the run ended before its keywords did.
    bool stoppedEarly() const { return m_stoppedEarly; }
    const std::optional<WriteError> &writeError() const { return m_writeError; }
    int imagesSaved() const;

signals:
    void keywordFinished(const KeywordFigures &figures);
    void runFinished();

private:
    void beginKeyword(const QString &keyword);
    void finishKeyword();
    // Addresses the full queue turned away and photos past a keyword's budget.
    qint64 refusedSinceStart() const;
    void countGivenUp(const QByteArray &url);
    void countImage(const QString &path, mosscatch::SizeFolder folder);
    void readExpectedImages();
    KeywordFigures *active();

    HarvestEngine &m_engine;
    QList<KeywordFigures> m_keywords;
    QElapsedTimer m_keywordClock;
    QElapsedTimer m_runClock;
    qint64 m_receivedAtStart = 0;
    qint64 m_refusedAtStart = 0;
    bool m_running = false;
    bool m_stoppedEarly = false;
    // The most working connections any keyword had.
    int m_connections = 0;
    std::optional<WriteError> m_writeError;

    struct Rejections
    {
        int count = 0;
        QString reason;
    };
    QMap<QByteArray, Rejections> m_rejections;
    QString m_connectionFailure;
    // The reason told just before the address given up next, and how often
    // each reason ended an image.
    QString m_lastFailure;
    QMap<QString, int> m_imageFailures;
};

}
