#pragma once

#include <QProcess>

namespace mosscatch {

// The photo site from beside the benchmark, in a process of its own on a free
// port, so what the benchmark measures of itself is the harvester's alone.
class SiteProcess
{
public:
    explicit SiteProcess(const QStringList &arguments = {});
    ~SiteProcess();
    SiteProcess(const SiteProcess &) = delete;
    SiteProcess &operator=(const SiteProcess &) = delete;

    // 0 when the site could not start.
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

}
