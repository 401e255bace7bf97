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
    };
}

}
