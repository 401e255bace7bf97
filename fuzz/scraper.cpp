// Fuzz target of the page scraper and the result-page walker. Input: one flag
// byte (bits 0-1: the page's path: a results page, a photo page, a sizes page
// or a keyword's first results page; bits 2-4: the size options; bit 5: only
// commercial use; bit 6: "Max Images" is "max", else "600"), then the page.
// Oracle: no crash, no sanitizer report, every queued address free of control
// characters.
#include "engine/harvestengine.h"
#include "scriptedconnection.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace mosscatch;

namespace {

// One engine for every input, its keyword "moss" started once; each input
// begins the keyword's scraping afresh.
HarvestEngine &engineOnMoss()
{
    static QTemporaryDir folder;
    static HarvestEngine engine(SiteConfiguration(), ScriptedConnection::factory());
    if (engine.driver()->currentKeyword().isEmpty()) {
        engine.options().setSaveFolder(folder.path());
        engine.addKeyword(QStringLiteral("moss"));
        engine.start();
    }
    return engine;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int flags = data[0];
    static const QByteArray paths[]
            = {"/search/?q=moss&page=2", "/photos/u/1/", "/photos/u/1/sizes/",
               "/search/?q=moss&ct=0&mt=photos&adv=1&z=m"};
    HarvestEngine &engine = engineOnMoss();
    HarvestOptions &options = engine.options();
    options.setThumbnails(flags & 4);
    options.setStandard(flags & 8);
    options.setLargest(flags & 16);
    options.setCommercial(flags & 32);
    options.setMaxImages((flags & 64) ? QStringLiteral("max") : QStringLiteral("600"));
    PageScraper &scraper = *engine.scraper();
    AddressQueue &queue = *engine.queue();
    scraper.beginKeyword(QStringLiteral("moss"));
    scraper.setResultPageCount((flags & 3) == 3 ? 0 : 1);
    queue.clear();

    TransferRecord record;
    record.target.host = "www.photosite.example.com";
    record.path = paths[flags & 3];
    record.url = record.target.host + record.path;
    record.exchange.data
            = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    (void)scraper.process(record);
    scraper.setResultPageCount(0);
    scraper.walker().getPagesOfResults(record.exchange.data);
    for (qsizetype i = 0; i < queue.size(); ++i) {
        for (const char c : queue.at(i)) {
            if (uchar(c) < 32 || uchar(c) == 127)
                std::abort();
        }
    }
    return 0;
}
