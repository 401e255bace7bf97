#include "cli/keywordfigures.h"

namespace mosscatch {

QJsonObject KeywordFigures::toJson() const
{
    return {
            {QStringLiteral("keyword"), keyword},
            {QStringLiteral("images"), QJsonObject{{QStringLiteral("thumbnails"), thumbnails},
                                                   {QStringLiteral("standard"), standard},
                                                   {QStringLiteral("largest"), largest}}},
            {QStringLiteral("pages"), pages},
            {QStringLiteral("givenUp"), givenUp},
            {QStringLiteral("imagesGivenUp"), imagesGivenUp},
            {QStringLiteral("retries"), retries},
            {QStringLiteral("transfersStarted"), transfers},
            {QStringLiteral("bytesReceived"), bytesReceived},
            {QStringLiteral("elapsedSeconds"), elapsedSeconds},
            {QStringLiteral("expectedImages"),
             expectationKnown() ? QJsonValue(expectedImages) : QJsonValue()},
            {QStringLiteral("expectedImagesApproximate"), expectedApproximate},
            {QStringLiteral("refused"), refused},
            {QStringLiteral("cutShort"), cutShort},
            {QStringLiteral("failed"), !failure.isEmpty()},
            {QStringLiteral("failure"), failure},
            {QStringLiteral("hostsDown"), toJson(hostsDown)},
    };
}

QJsonArray KeywordFigures::toJson(const QList<HostsDown::Entry> &hosts)
{
    QJsonArray array;
    for (const HostsDown::Entry &entry : hosts)
        array.append(QJsonObject{{QStringLiteral("host"), QString::fromLatin1(entry.host)},
                                 {QStringLiteral("reason"), entry.reason},
                                 {QStringLiteral("certificate"), entry.untrusted},
                                 {QStringLiteral("givenUp"), entry.givenUp}});
    return array;
}

}
