#include "fuzz/Mutations.h"
#include "fuzz/ProjectFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
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
        if (ProjectFuzz::run(Mutations::mutated(seeds[i % seeds.size()], random, Mutations::BigEndian)))
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
