#include "fuzz/ProjectFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// Values that matter where the reader expects a count, an index, a type or
// a marker.
constexpr qint64 telling[] = {0, 1, 2, 3, 5, 36, 57, -1, -2, 2017, 0x7fffffff, -0x7fffffff - 1,
                              qint64(1) << 31, qint64(1) << 40, qint64(1) << 62};

// data with one to three random changes: bits flipped, bytes replaced, a
// 4- or 8-byte word set to a telling value, the end cut off, a range taken
// out or repeated.
QByteArray mutated(QByteArray data, QRandomGenerator &random)
{
    for (int step = random.bounded(1, 4); step > 0; --step) {
        const int size = data.size();
        const int at = size > 0 ? random.bounded(size) : 0;
        const int length = size > 0 ? random.bounded(1, std::min(size - at, 64) + 1) : 0;
        switch (random.bounded(6)) {
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
            if (random.bounded(2) && size - at >= 8)
                qToBigEndian(value, data.data() + at);
            else if (size - at >= 4)
                qToBigEndian(qint32(value), data.data() + at);
            break;
        }
        case 3:
            data.truncate(at);
            break;
        case 4:
            data.remove(at, length);
            break;
        default:
            data.insert(random.bounded(size + 1), data.mid(at, length));
            break;
        }
    }
    return data;
}

} // namespace

// Damaged project files, made from valid ones by random changes with a fixed
// seed, are refused or read safely: no crash, no endless loop, no allocation
// beyond what the file can fill. This short run is part of every test pass;
// fuzz_projectfile.cpp runs the same target under libFuzzer for long runs.
class TstProjectFuzz : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mutatedProjectsAreSafe();

private:
    std::unique_ptr<KaloConfig> m_settings;
};

void TstProjectFuzz::initTestCase()
{
    m_settings = std::make_unique<KaloConfig>(QString(), true);
}

void TstProjectFuzz::mutatedProjectsAreSafe()
{
    constexpr int iterations = 30000;
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    const QList<QByteArray> seeds = ProjectFuzz::seeds();
    bool seedsRead = true;
    for (const QByteArray &seed : seeds)
        seedsRead = ProjectFuzz::run(seed) && seedsRead;

    QRandomGenerator random(20170601);
    int read = 0;
    for (int i = 0; i < iterations; ++i) {
        if (ProjectFuzz::run(mutated(seeds[i % seeds.size()], random)))
            ++read;
    }
    qInstallMessageHandler(previous);

    QVERIFY2(seedsRead, "the unchanged projects are read");
    // Both ways through the reader are taken: the run reaches past the checks.
    QVERIFY2(read > 0 && read < iterations,
             qPrintable(QStringLiteral("%1 of %2 damaged projects were read").arg(read).arg(iterations)));
    qInfo() << read << "of" << iterations << "damaged projects read";
}

QTEST_GUILESS_MAIN(TstProjectFuzz)
#include "tst_projectfuzz.moc"
