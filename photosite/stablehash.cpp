#include "photosite/stablehash.h"

namespace mosscatch {

quint64 StableHash::of(const QByteArray &data)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char byte : data) {
        hash ^= quint8(byte);
        hash *= 1099511628211ULL;
    }
    return mix(hash);
}

quint64 StableHash::mix(quint64 value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

quint64 StableRandom::next()
{
    m_state += 0x9e3779b97f4a7c15ULL;
    return StableHash::mix(m_state);
}

}
