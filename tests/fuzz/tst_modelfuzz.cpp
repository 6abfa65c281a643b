#include "fuzz/ModelFuzzTarget.h"
#include "fuzz/Mutations.h"
#include "settings/KaloConfig.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

// Damaged STL files, made from valid ones of both encodings by random
// changes with a fixed seed, are refused without touching the scene, or load
// into models with finite bounds whose layers cut alike both ways. This
// short run is part of every test pass; fuzz_modelfile.cpp runs the same
// target under libFuzzer for long runs.
class TstModelFuzz : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mutatedModelFilesAreSafe();

private:
    std::unique_ptr<KaloConfig> m_settings;
    QTemporaryDir m_dir;
};

void TstModelFuzz::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_settings = std::make_unique<KaloConfig>(QString(), true);
    m_settings->useAntialise(false);
}

void TstModelFuzz::mutatedModelFilesAreSafe()
{
    constexpr int iterations = 600;
    const QString path = m_dir.filePath(QStringLiteral("input.stl"));
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    const QList<QByteArray> seeds = ModelFuzz::seeds();
    bool seedsLoad = true;
    for (const QByteArray &seed : seeds)
        seedsLoad = ModelFuzz::run(seed, path) && seedsLoad;

    QRandomGenerator random(20240611);
    int loaded = 0;
    for (int i = 0; i < iterations; ++i) {
        const QByteArray &seed = seeds[i % seeds.size()];
        if (ModelFuzz::run(Mutations::mutated(seed, random, Mutations::LittleEndian), path))
            ++loaded;
    }
    qInstallMessageHandler(previous);

    QVERIFY2(seedsLoad, "the unchanged files load");
    // Both ways through the importer are taken: the run reaches past the checks.
    QVERIFY2(loaded > 0 && loaded < iterations,
             qPrintable(QStringLiteral("%1 of %2 damaged files loaded").arg(loaded).arg(iterations)));
    qInfo() << loaded << "of" << iterations << "damaged files loaded";
}

QTEST_GUILESS_MAIN(TstModelFuzz)
#include "tst_modelfuzz.moc"
