// The window during a harvest of largest images over loopback: the longest
// stall of the user-interface thread, read as the largest gap between two
// 250 ms statistics ticks, with the strip of saved images on and off.
// Prints figures only; it asserts nothing. Run with QT_QPA_PLATFORM=offscreen.
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "runtoend.h"
#include "siteprocess.h"
#include "ui/frmmain.h"
#include "ui/savedimagestrip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

using namespace mosscatch;

namespace {

struct Figures
{
    double seconds = 0;
    int images = 0;
    int previews = 0;
    qint64 longestGapMs = 0;
    double meanGapMs = 0;
};

Figures harvest(quint16 sitePort, const QStringList &keywords, bool strip, int dispatchMs)
{
    QTemporaryDir folder;
    HostMap hostMap;
    hostMap.addLocalSite(sitePort);
    HarvestEngine engine(SiteConfiguration(), TcpConnection::factory(hostMap));
    engine.setIntervals({.next = dispatchMs});
    FrmMain window(engine);
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("tDir"))->setText(folder.path());
    engine.options().setThumbnails(false);
    engine.options().setStandard(false);
    engine.options().setLargest(true);
    engine.options().setMaxImages(QStringLiteral("max"));
    engine.addKeywordsInOrder(keywords);
    if (!strip)
        QObject::disconnect(&engine, &HarvestEngine::imageCommitted, window.savedImageStrip(),
                            nullptr);

    Figures figures;
    QElapsedTimer sinceTick;
    qint64 gaps = 0;
    int ticks = 0;
    QObject::connect(engine.statistics(), &HarvestStatistics::updated, [&] {
        if (sinceTick.isValid()) {
            const qint64 gap = sinceTick.elapsed();
            figures.longestGapMs = std::max(figures.longestGapMs, gap);
            gaps += gap;
            ++ticks;
        }
        sinceTick.start();
    });
    QObject::connect(&engine, &HarvestEngine::imageSaved, [&] { ++figures.images; });
    QObject::connect(window.savedImageStrip(), &SavedImageStrip::previewShown,
                     [&] { ++figures.previews; });
    figures.seconds = double(runToEnd(engine)) / 1000.0;
    figures.meanGapMs = ticks > 0 ? double(gaps) / ticks : 0;
    return figures;
}

void print(QTextStream &out, const QString &label, const Figures &f)
{
    out << label << ": " << f.seconds << " s, " << f.images << " largest images, " << f.previews
        << " previews decoded; statistics tick gap longest " << f.longestGapMs << " ms, mean "
        << QString::number(f.meanGapMs, 'f', 1) << " ms (interval 250 ms)\n";
    out.flush();
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QTextStream out(stdout);
    const SiteProcess site;
    const quint16 port = site.port();
    if (port == 0) {
        out << "cannot start mosscatch-photosite beside this program\n";
        return 1;
    }
    const QStringList keywords{QStringLiteral("count240")};

    // First run fills the site's image cache, so the runs below measure the window.
    harvest(port, keywords, false, 1);
    // The product's 50 ms dispatch tick, then a 1 ms one that saves images
    // faster than previews can be decoded.
    for (const int dispatchMs : {50, 1}) {
        for (int round = 1; round <= 2; ++round) {
            const QString label
                    = QStringLiteral("%1 ms dispatch tick, strip %2 (round %3)").arg(dispatchMs);
            print(out, label.arg(QStringLiteral("on "), QString::number(round)),
                  harvest(port, keywords, true, dispatchMs));
            print(out, label.arg(QStringLiteral("off"), QString::number(round)),
                  harvest(port, keywords, false, dispatchMs));
        }
    }
    return 0;
}
