#include "engine/doneregistry.h"

#include "common/text.h"

namespace mosscatch {

bool DoneRegistry::isAlreadyDone(const QByteArray &key)
{
    const QByteArray normalised = lowerTrim(key);
    if (m_keys.contains(normalised))
        return true;
    m_keys.insert(normalised);
    return false;
}

void DoneRegistry::clear()
{
    m_keys.clear();
}

}
