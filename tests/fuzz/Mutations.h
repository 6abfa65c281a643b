#pragma once

// Random damage for the short fuzz runs of the test suite (tst_*fuzz), which
// start from the same seeds as the libFuzzer harnesses but need neither
// clang nor a time budget.

#include <QByteArray>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace Mutations {

enum ByteOrder { BigEndian, LittleEndian };

// Values that matter where a reader expects a count, an index, a type or a
// marker.
constexpr qint64 telling[] = {0, 1, 2, 3, 5, 36, 57, -1, -2, 2017, 0x7fffffff, -0x7fffffff - 1,
                              qint64(1) << 31, qint64(1) << 40, qint64(1) << 62};
// Single-precision numbers that matter where a reader expects a coordinate.
constexpr float tellingFloats[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e30f, -1e30f, 1e-30f, 200.0f, 260.0f,
                                   std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::max(),
                                   std::numeric_limits<float>::denorm_min()};

// data with one to three random changes: bits flipped, bytes replaced, a
// 4- or 8-byte word set to a telling value (in order), a 4-byte word set to a
// telling float (little-endian, as STL stores them), the end cut off, a
// range taken out or repeated.
inline QByteArray mutated(QByteArray data, QRandomGenerator &random, ByteOrder order)
{
    for (int step = random.bounded(1, 4); step > 0; --step) {
        const int size = data.size();
        const int at = size > 0 ? random.bounded(size) : 0;
        const int length = size > 0 ? random.bounded(1, std::min(size - at, 64) + 1) : 0;
        switch (random.bounded(7)) {
        case 0:
            if (size > 0)
                data[at] = char(data[at] ^ (1 << random.bounded(8)));
            break;
        case 1:
            for (int i = 0; i < length; ++i)
                data[at + i] = char(random.bounded(256));
            break;
        case 2: {
            const qint64 value = telling[random.bounded(int(std::size(telling)))];
            char *word = data.data() + at;
            if (random.bounded(2) && size - at >= 8)
                order == BigEndian ? qToBigEndian(value, word) : qToLittleEndian(value, word);
            else if (size - at >= 4)
                order == BigEndian ? qToBigEndian(qint32(value), word) : qToLittleEndian(qint32(value), word);
            break;
        }
        case 3:
            if (size - at >= 4) {
                const float value = tellingFloats[random.bounded(int(std::size(tellingFloats)))];
                quint32 bits;
                std::memcpy(&bits, &value, sizeof bits);
                qToLittleEndian(bits, data.data() + at);
            }
            break;
        case 4:
            data.truncate(at);
            break;
        case 5:
            data.remove(at, length);
            break;
        default:
            data.insert(random.bounded(size + 1), data.mid(at, length));
            break;
        }
    }
    return data;
}

} // namespace Mutations
