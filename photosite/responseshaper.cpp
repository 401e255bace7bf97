#include "photosite/responseshaper.h"

namespace mosscatch {

namespace {

constexpr qint64 DefaultHugePage = 8 * 1024 * 1024;
constexpr qint64 DefaultFarmLinks = 50;
constexpr qint64 DefaultBombBlocks = 250000;
constexpr char DefaultExtraBytes[] = "HTTP/1.1 200 OK\r\n\r\nextra";

}

Delivery ResponseShaper::normal(const SiteResponse &response) const
{
    Delivery delivery = withLength(response, QByteArray::number(response.body.size()));
    delivery.keepsOpen = response.keepsConnection();
    return delivery;
}

Delivery ResponseShaper::faulted(const SiteResponse &routed, const FaultRule &rule,
                                 const QByteArray &path) const
{
    SiteResponse response = routed;
    const bool closes = endsWithClose(rule.kind);
    if (closes && rule.kind != FaultRule::Kind::NoLengthKept)
        response.setConnection("close");
    Delivery delivery = shaped(response, rule, path);
    delivery.keepsOpen = response.keepsConnection() && !closes;
    return delivery;
}

// Answers that end where their length or last chunk says leave the
// connection to the request; the others can only end with the close.
bool ResponseShaper::endsWithClose(FaultRule::Kind kind)
{
    using Kind = FaultRule::Kind;
    switch (kind) {
    case Kind::CloseEarly:
    case Kind::NoContentLength:
    case Kind::ContentLengthLarger:
    case Kind::ContentLengthSmaller:
    case Kind::ContentLengthGarbage:
    case Kind::EndlessBody:
    case Kind::ResetNoLength:
    case Kind::CloseEarlyNoLength:
    case Kind::CutNoLength:
    case Kind::Chunked:
    case Kind::ContradictingLengths:
    case Kind::CloseWhenReused:
    case Kind::ConnectionClose:
    case Kind::NoLengthKept:
        return true;
    default:
        return false;
    }
}

// An error or redirect made in place of the routed answer speaks of the
// connection as the routed answer did.
SiteResponse ResponseShaper::alike(SiteResponse made, const SiteResponse &model)
{
    made.version = model.version;
    made.setConnection(model.connection());
    return made;
}

Delivery ResponseShaper::shaped(const SiteResponse &response, const FaultRule &rule,
                                const QByteArray &path) const
{
    const qint64 size = response.body.size();
    const auto error = [&](int status, const QByteArray &reason) {
        return alike(m_router.error(status, reason, path), response);
    };
    const auto redirect = [&](const QByteArray &fieldName, const QByteArray &target) {
        return alike(m_router.redirect(fieldName, target), response);
    };
    using Kind = FaultRule::Kind;
    switch (rule.kind) {
    case Kind::Stall:
    case Kind::StallWhenReused:
        return {Delivery::Mode::Stall, {}, {}, 0, 0};
    case Kind::CloseWhenReused:
        return {Delivery::Mode::Whole, {}, {}, 0, 0};
    case Kind::ConnectionClose:
        return normal(response);
    case Kind::NoLengthKept:
        return withLength(response, {});
    case Kind::ExtraBytes: {
        Delivery delivery = normal(response);
        delivery.first += rule.text.isEmpty() ? QByteArray(DefaultExtraBytes) : rule.text;
        return delivery;
    }
    case Kind::Trickle:
        return paced(response.header(), response.body, qMax(1, rule.chunkBytes), rule.intervalMs);
    case Kind::CloseEarly:
        return {Delivery::Mode::Whole,
                response.header() + response.body.left(rule.bytes > 0 ? rule.bytes : size / 2),
                {},
                0,
                0};
    case Kind::NoContentLength:
        return withLength(response, {});
    case Kind::ContentLengthLarger:
        return withLength(response,
                          QByteArray::number(size + (rule.bytes > 0 ? rule.bytes : 1000)));
    case Kind::ContentLengthSmaller:
        return withLength(response, QByteArray::number(qMax<qint64>(
                                            0, size - (rule.bytes > 0 ? rule.bytes : size / 2))));
    case Kind::ContentLengthGarbage:
        return withLength(response, rule.text.isEmpty() ? QByteArray("banana") : rule.text);
    case Kind::SplitHeader:
        return split(response, rule.bytes, rule.intervalMs);
    case Kind::NotFound:
        return normal(error(404, "Not Found"));
    case Kind::ServerError:
        return normal(error(500, "Internal Server Error"));
    case Kind::Redirect:
        return normal(redirect("location", rule.text));
    case Kind::RedirectLoop:
        return normal(redirect("location", path));
    case Kind::RedirectCapitalLocation:
        return normal(redirect("Location", rule.text));
    case Kind::EndlessBody:
        return {Delivery::Mode::Endless, response.header({}),
                QByteArray(qMax(1, rule.chunkBytes), 'x'), qMax(1, rule.chunkBytes),
                rule.intervalMs};
    case Kind::MissingHtmlEnd:
        return normal(withPageEnd(response, {}));
    case Kind::UpperCaseHtmlEnd:
        return normal(withPageEnd(response, "</HTML>"));
    case Kind::HugePage:
        return normal(padded(response, rule.bytes > 0 ? rule.bytes : DefaultHugePage));
    case Kind::PhotoImageAddress:
        return normal(withImageAddress(response, rule.text));
    case Kind::OtherImage: {
        const qsizetype slash = rule.text.indexOf('/');
        return normal(alike(m_router.route(rule.text.left(slash), rule.text.mid(slash)), response));
    }
    case Kind::Unavailable:
        return normal(error(503, "Service Unavailable"));
    case Kind::LinkFarm:
        return normal(withBlocks(
                response,
                m_router.farmBlocks(path, int(rule.bytes > 0 ? rule.bytes : DefaultFarmLinks))));
    case Kind::ContainerBomb:
        return normal(withBlocks(
                response, bomb(response.body, rule.bytes > 0 ? rule.bytes : DefaultBombBlocks)));
    case Kind::NotFoundSplit:
        return split(error(404, "Not Found"), rule.bytes, rule.intervalMs);
    case Kind::HeaderByteByByte:
        return {Delivery::Mode::PacedFirst, response.header(), response.body, 1,
                qMax(0, rule.intervalMs)};
    case Kind::ResetNoLength:
    case Kind::CutNoLength:
    case Kind::CloseEarlyNoLength: {
        const QByteArray cut
                = response.header({}) + response.body.left(rule.bytes > 0 ? rule.bytes : size / 2);
        if (rule.kind == Kind::CloseEarlyNoLength)
            return {Delivery::Mode::Whole, cut, {}, 0, 0};
        const bool reset = rule.kind == Kind::ResetNoLength;
        return {reset ? Delivery::Mode::Reset : Delivery::Mode::Cut,
                cut,
                {},
                0,
                qMax(20, rule.intervalMs)};
    }
    case Kind::Chunked: {
        QByteArray chunked;
        const int piece = qMax(1, rule.chunkBytes);
        for (qint64 at = 0; at < size; at += piece) {
            const QByteArray part = response.body.mid(at, piece);
            chunked += QByteArray::number(part.size(), 16) + (at == 0 ? ";ext=1\r\n" : "\r\n")
                       + part + "\r\n";
        }
        return {Delivery::Mode::Whole,
                withFields(response, {"Transfer-Encoding: chunked"}) + chunked + "0\r\n\r\n",
                {},
                0,
                0};
    }
    case Kind::GzipEncoded: {
        const QByteArray packed = qCompress(response.body);
        return {Delivery::Mode::Whole,
                withFields(response, {"Content-Encoding: gzip",
                                      "Content-Length: " + QByteArray::number(packed.size())})
                        + packed,
                {},
                0,
                0};
    }
    case Kind::PartialContent: {
        SiteResponse partial = response;
        const qint64 part = rule.bytes > 0 ? rule.bytes : size / 2;
        partial.status = 206;
        partial.reason = "Partial Content";
        partial.body = response.body.left(part);
        partial.fields.append({"Content-Range", "bytes 0-" + QByteArray::number(part - 1) + '/'
                                                        + QByteArray::number(size)});
        return normal(partial);
    }
    case Kind::DuplicateLength:
    case Kind::ContradictingLengths: {
        const qint64 second = rule.kind == Kind::DuplicateLength ? size
                              : rule.bytes > 0                   ? rule.bytes
                                                                 : size / 2;
        return {Delivery::Mode::Whole,
                withFields(response, {"Content-Length: " + QByteArray::number(size),
                                      "Content-Length: " + QByteArray::number(second)})
                        + response.body,
                {},
                0,
                0};
    }
    case Kind::TooManyRequests: {
        SiteResponse busy = error(429, "Too Many Requests");
        if (!rule.text.isEmpty())
            busy.fields.append({"Retry-After", rule.text});
        return normal(busy);
    }
    case Kind::RepeatedPhotos:
        return normal(withBlocks(response, m_router.firstPageBlocks(path)));
    case Kind::LengthInOtherField:
        return {Delivery::Mode::Whole,
                withFields(response,
                           {"X-Original-Content-Length: "
                                    + QByteArray::number(rule.bytes > 0 ? rule.bytes : 12),
                            "Content-Length: " + QByteArray::number(size)})
                        + response.body,
                {},
                0,
                0};
    }
    return normal(response);
}

Delivery ResponseShaper::withLength(const SiteResponse &response,
                                    const QByteArray &contentLength) const
{
    return {Delivery::Mode::Whole, response.header(contentLength) + response.body, {}, 0, 0};
}

Delivery ResponseShaper::paced(const QByteArray &first, const QByteArray &rest, int chunkBytes,
                               int intervalMs) const
{
    return {Delivery::Mode::Paced, first, rest, chunkBytes, qMax(0, intervalMs)};
}

SiteResponse ResponseShaper::withPageEnd(SiteResponse response, const QByteArray &end)
{
    response.body.replace("</html>", end);
    return response;
}

// Two writes intervalMs apart, the first ending at byte `at` (in the middle
// of the header when 0).
Delivery ResponseShaper::split(const SiteResponse &response, qint64 at, int intervalMs)
{
    const QByteArray all = response.bytes();
    const qsizetype cut
            = qBound<qsizetype>(1, at > 0 ? at : response.header().size() / 2, all.size());
    return {Delivery::Mode::Paced, all.left(cut), all.mid(cut),
            int(qMax<qsizetype>(1, all.size() - cut)), qMax(0, intervalMs)};
}

// The header without a length, with the given lines added before its blank line.
QByteArray ResponseShaper::withFields(const SiteResponse &response, const QList<QByteArray> &lines)
{
    QByteArray header = response.header({});
    header.chop(2);
    for (const QByteArray &line : lines)
        header += line + "\r\n";
    return header + "\r\n";
}

// The padding is a long comment, so the page stays one page with one end.
SiteResponse ResponseShaper::padded(SiteResponse response, qint64 size)
{
    const qsizetype end = response.body.lastIndexOf("</html>");
    const qint64 missing = size - response.body.size() - 9;
    if (end < 0 || missing <= 0)
        return response;
    QByteArray filler(missing, 'm');
    for (qint64 at = 99; at < missing; at += 100)
        filler[at] = '\n';
    response.body.insert(end, "<!--" + filler + "-->\r\n");
    return response;
}

SiteResponse ResponseShaper::withImageAddress(SiteResponse response, const QByteArray &address)
{
    const qsizetype block = response.body.indexOf("class=\"photo-div\"");
    const qsizetype start = response.body.indexOf("src=\"", block) + 5;
    const qsizetype end = response.body.indexOf('"', start);
    if (block >= 0 && start >= 5 && end >= 0)
        response.body.replace(start, end - start, address);
    return response;
}

SiteResponse ResponseShaper::withBlocks(SiteResponse response, const QByteArray &blocks)
{
    const qsizetype end = response.body.lastIndexOf("</html>");
    if (end >= 0)
        response.body.insert(end, blocks);
    return response;
}

// As short as a block can be, so a quarter of a million fit in a page the
// harvester still reads whole.
QByteArray ResponseShaper::bomb(const QByteArray &body, qint64 count)
{
    const qsizetype container = body.indexOf("photo_container");
    const qsizetype start = body.indexOf("href=\"", container) + 6;
    const qsizetype end = body.indexOf('"', start);
    if (container < 0 || start < 6 || end < 0)
        return {};
    return QByteArray("<a class=photo_container href=\"" + body.mid(start, end - start) + "\">")
            .repeated(count);
}

}
