#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <initializer_list>

namespace Lab {

// A small deterministic generator (SplitMix64). Every generated thing is drawn from a stream
// keyed by the seed and its own coordinates (kind, index, …), never from a shared sequence, so
// one item's data does not depend on how many others were made before it, or in which order.
class Rng
{
public:
    explicit Rng(std::initializer_list<quint64> key)
    {
        for (const quint64 part : key)
            m_state = mix(m_state ^ (part + 0x9E3779B97F4A7C15ULL));
    }

    quint64 next()
    {
        m_state += 0x9E3779B97F4A7C15ULL;
        return mix(m_state);
    }

    // Uniform in [0, bound); bound > 0. The slight bias of a modulo is irrelevant here.
    int below(int bound) { return int(next() % quint64(bound)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }

    template<typename T, size_t N>
    const T &pick(const std::array<T, N> &items) { return items[size_t(below(int(N)))]; }
    template<typename T, size_t N>
    const T &pick(const T (&items)[N]) { return items[size_t(below(int(N)))]; }

private:
    static quint64 mix(quint64 z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    quint64 m_state = 0x2545F4914F6CDD1DULL;
};

} // namespace Lab
