#include "engine/writeerror.h"

#include <cerrno>
#include <cstring>

namespace mosscatch {

QString WriteError::reason() const
{
    return QString::fromLocal8Bit(std::strerror(code));
}

bool WriteError::concernsTheName() const
{
    return code == ENAMETOOLONG || code == EILSEQ || code == EINVAL || code == EEXIST
           || code == EISDIR;
}

bool WriteError::isLackOfRoom() const
{
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

}
