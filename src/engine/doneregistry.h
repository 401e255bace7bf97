#pragma once

#include <QByteArray>
#include <QSet>

namespace mosscatch {

// The keys already seen for the current keyword, compared after lowerTrim.
// Membership is exact: no key is ever taken for another.
class DoneRegistry
{
public:
    // True when the key was recorded before; otherwise records it and returns false.
    bool isAlreadyDone(const QByteArray &key);
    void clear();
    qsizetype size() const { return m_keys.size(); }

private:
    QSet<QByteArray> m_keys;
};

}
