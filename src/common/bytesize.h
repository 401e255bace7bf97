#pragma once

#include <QString>

namespace mosscatch {

// Byte counts as the desktop shows them: below 1024 "N bytes", else three
// significant digits (truncated) and a unit: "1.21 KB", "120 KB", "95.3 MB".
QString formatByteSize(qint64 bytes);

}
