#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace mosscatch {

// A hash that is the same in every process and on every run (qHash is seeded
// per process), so the site's content can be recomputed by any test.
class StableHash
{
public:
    static quint64 of(const QByteArray &data);
    static quint64 mix(quint64 value);
};

// A small deterministic random source for image pixels.
class StableRandom
{
public:
    explicit StableRandom(quint64 seed) : m_state(seed) { }
    quint64 next();
    int below(int bound) { return int(next() % quint64(bound)); }

private:
    quint64 m_state;
};

}
