// Fuzz target of the HTTP exchange. Input: one flag byte (bit 0: an image
// transfer, else a page; bits 1-2: what the server does after the last byte:
// nothing, an orderly close or a reset; bit 3: on a connection kept open from
// an earlier response), one byte seeding the cut of the
// response into arrivals (0: no cut), then the response. The response is
// delivered whole and cut. Oracle: no crash, no sanitizer report, a file under
// the image's final name holds exactly the body the response carries, and a
// page queues no address with a control character.
#include "common/text.h"
#include "engine/harvestengine.h"
#include "scriptedconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace mosscatch;

namespace {

const QByteArray host = "www.photosite.example.com";

// The body a response carries, read independently of the exchange and whole:
// nullopt when the response cannot give a file (a redirect, a coding we do
// not undo, an unfinished chunked body, fewer bytes than announced).
std::optional<QByteArray> carriedBody(const QByteArray &response)
{
    qsizetype start = 0;
    while (start < response.size() && QByteArray("\r\n \t").contains(response[start]))
        ++start;
    if (response.mid(start, 4).toLower() != "http")
        return response;
    const auto headerEnd = [&response](qsizetype from) -> qsizetype {
        const qsizetype lf = response.indexOf("\n\n", from);
        const qsizetype crlf = response.indexOf("\n\r\n", from);
        if (lf < 0 && crlf < 0)
            return -1;
        return (crlf < 0 || (lf >= 0 && lf < crlf)) ? lf + 2 : crlf + 3;
    };
    const auto statusAt = [&response](qsizetype from) {
        const QByteArray line = response.mid(from, response.indexOf('\n', from) - from);
        // As the harvester reads it: the digits that lead the four bytes after the first space.
        const QByteArray field = line.mid(line.indexOf(' ') + 1, 4);
        qsizetype at = 0;
        while (at < field.size() && (field[at] == ' ' || field[at] == '\t'))
            ++at;
        qsizetype digits = at;
        while (digits < field.size() && field[digits] >= '0' && field[digits] <= '9')
            ++digits;
        return field.mid(at, digits - at).toInt();
    };
    // Interim answers (1xx but 101) come before the one that counts.
    qsizetype end = headerEnd(start);
    for (int status = statusAt(start); end >= 0 && status >= 100 && status < 200 && status != 101;
         status = statusAt(start)) {
        for (start = end;
             start < response.size() && QByteArray("\r\n \t").contains(response[start]);)
            ++start;
        if (response.mid(start, 4).toLower() != "http")
            return std::nullopt;
        end = headerEnd(start);
    }
    if (end < 0)
        return std::nullopt;
    const QByteArray rest = response.mid(end);
    const int status = statusAt(start);
    std::optional<qsizetype> length;
    bool chunked = false;
    for (QByteArray line : response.mid(start, end - start).split('\n')) {
        line = line.endsWith('\r') ? line.chopped(1) : line;
        if (!line.contains(':') || line.startsWith(' ') || line.startsWith('\t'))
            continue;
        const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
        const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
        if (name == "location" && status >= 300 && status < 400)
            return std::nullopt;
        bool digits = !value.isEmpty() && value.size() < 16;
        for (char c : value)
            digits = digits && c >= '0' && c <= '9';
        if (name == "content-length" && digits)
            length = value.toLongLong();
        if (name == "transfer-encoding" && value.toLower() == "chunked")
            chunked = true;
    }
    if (!chunked)
        return length ? (rest.size() >= *length ? std::optional(rest.left(*length)) : std::nullopt)
                      : rest;
    QByteArray body;
    for (qsizetype at = 0;;) {
        const qsizetype eol = rest.indexOf('\n', at);
        if (eol < 0)
            return std::nullopt;
        bool ok = false;
        const QByteArray size = rest.mid(at, eol - at).split(';').value(0).trimmed();
        const qint64 n = size.toLongLong(&ok, 16);
        if (!ok || n < 0)
            return std::nullopt;
        if (n == 0)
            return body;
        if (eol + 1 + n > rest.size())
            return std::nullopt;
        body += rest.mid(eol + 1, n);
        at = eol + 1 + n + (rest.mid(eol + 1 + n, 1) == "\r" ? 2 : 1);
    }
}

QString scratchFolder()
{
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                        ? QStringLiteral("/dev/shm/fuzz_exchange-XXXXXX")
                                        : QDir::tempPath()
                                                  + QStringLiteral("/fuzz_exchange-XXXXXX"));
    return folder.path();
}

struct Harness
{
    Harness()
    {
        engine.options().setThumbnails(true);
        engine.options().setStandard(true);
        engine.options().setLargest(true);
        engine.scraper()->setResultPageCount(1);
        pool.loadSocks();
    }

    ScriptedConnection *connection() const
    {
        return qobject_cast<ScriptedConnection *>(const_cast<Connection *>(pool.connection(1)));
    }

    // The file left under the image's name after the delivery, if any; kept: the
    // response comes on a connection kept open from an earlier transfer.
    std::optional<QByteArray> run(const QByteArray &path, const QByteArrayList &pieces, int end,
                                  bool kept)
    {
        const QString folder = scratchFolder() + QStringLiteral("/");
        if (kept) {
            begin("/about/", folder);
            const QByteArray page = "<html>" + QByteArray(100, ' ') + "</html>";
            connection()->deliver("HTTP/1.1 200 OK\r\nContent-Length: "
                                  + QByteArray::number(page.size()) + "\r\n\r\n" + page);
        }
        begin(path, folder);
        const QString destination = folder + QString::fromLatin1(urlFileName(path));
        // A retry or a redirect to another connection drops the rest.
        ScriptedConnection *const first = connection();
        for (const QByteArray &piece : pieces) {
            if (connection() != first || !pool.transfer(1))
                break;
            first->deliver(piece);
        }
        if (connection() == first && first->state() == SocketState::Connected) {
            if (end == 1 || end == 3)
                connection()->closeFromPeer();
            else if (end == 2)
                connection()->resetFromPeer();
        }
        for (qsizetype i = 0; i < queue.size(); ++i) {
            if (holdsControlCharacter(queue.at(i)))
                std::abort();
        }
        pool.unloadSocks();
        // No event loop runs here: what the cache let go is deleted now, not piled up.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QFile file(destination);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QByteArray bytes = file.readAll();
        file.remove();
        return bytes;
    }

    void begin(const QByteArray &path, const QString &folder)
    {
        const TransferRoute route{{Scheme::Http, host, 80}, path, folder, urlFileName(path)};
        pool.start(1, new Transfer(host + path, route, engine.transferContext()));
        if (connection()->state() == SocketState::Connecting)
            connection()->acceptConnection();
    }

    HarvestEngine engine{SiteConfiguration(), ScriptedConnection::factory()};
    AddressQueue &queue = *engine.queue();
    ConnectionPool &pool = *engine.pool();
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int flags = data[0];
    const uint8_t seed = data[1];
    const QByteArray response(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QByteArray path
            = (flags & 1) ? QByteArray("/photos/x/pic_o.jpg") : QByteArray("/photos/u/1/");
    const int end = (flags >> 1) & 3;

    QByteArrayList pieces{response};
    if (seed != 0) {
        pieces.clear();
        uint32_t state = seed * 2654435761u;
        for (qsizetype at = 0; at < response.size();) {
            state = state * 1103515245u + 12345u;
            const qsizetype n = 1 + qsizetype((state >> 16) % 24);
            pieces.append(response.mid(at, n));
            at += n;
        }
    }
    const std::optional<QByteArray> carried = carriedBody(response);
    for (const QByteArrayList &delivery : {QByteArrayList{response}, pieces}) {
        Harness harness;
        const std::optional<QByteArray> file = harness.run(path, delivery, end, flags & 8);
        if (file && (!(flags & 1) || !carried || *file != *carried))
            std::abort();
    }
    return 0;
}
