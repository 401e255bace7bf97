#include "common/bytesize.h"

#include <array>
#include <cmath>

namespace mosscatch {

QString formatByteSize(qint64 bytes)
{
    if (bytes < 0)
        bytes = 0;
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);

    static constexpr std::array units{"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1024.0;
    size_t unit = 0;
    // Three significant digits: from 1000 on, the next unit reads better ("0.97 MB").
    while (value >= 1000.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    int decimals = 0;
    if (value < 10.0)
        decimals = 2;
    else if (value < 100.0)
        decimals = 1;
    const double scale = std::pow(10.0, decimals);
    // Truncated, never rounded up, so a size is never shown larger than it is.
    const double truncated = std::floor(value * scale + 1e-9) / scale;
    return QStringLiteral("%1 %2").arg(truncated, 0, 'f', decimals).arg(QLatin1String(units[unit]));
}

}
