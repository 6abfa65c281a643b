#include "common/TestMeshes.h"
#include "settings/SliceBuildConfig.h"
#include "supports/Support.h"
#include "workspace/LiveCheck.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.layerThickness = 0.1f;
    config.pixelsPerMmX = config.pixelsPerMmY = 10;
    config.resolutionX = config.resolutionY = 400; // 40 mm
    return config;
}

// Checks models as the window does after an edit: the change, the quiet
// time, the check on a snapshot, the marks.
bool checkAfterChange(LiveCheck &live, const QList<Model *> &models, int layers)
{
    QSignalSpy due(&live, &LiveCheck::due);
    QSignalSpy done(&live, &LiveCheck::done);
    live.changed(display(), models);
    if (!due.wait(5000))
        return false;
    live.start(display(), models, layers);
    if (!done.wait(20000))
        return false;
    LiveCheck::mark(models, live.findings());
    return true;
}

} // namespace

class TstLiveCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void marksModelsAfterEdits();
};

void TstLiveCheck::marksModelsAfterEdits()
{
    // A 4 mm block 2 mm above the plate beside one standing on it.
    std::unique_ptr<Model> standing(TestMeshes::makeModel(TestMeshes::box({-10, -2, 0}, {-6, 2, 4})));
    std::unique_ptr<Model> lifted(TestMeshes::makeModel(TestMeshes::box({6, -2, 2}, {10, 2, 6})));
    QList<Model *> models{standing.get(), lifted.get()};
    LiveCheck live(10);

    QVERIFY2(checkAfterChange(live, models, 60), "the check reports after a change");
    QVERIFY2(lifted->checkMarks.size() == 1 && standing->checkMarks.empty(),
             "the block in mid-air is marked, the other not");
    // From the block's underside up, around its centre, covering its 4 x 4 mm.
    const QVector4D mark = lifted->checkMarks.front();
    QVERIFY2(std::abs(mark.x() - 8) < 0.2f && std::abs(mark.y()) < 0.2f && std::abs(mark.z() - 2) < 0.1f
                 && mark.w() >= 2 && mark.w() < 4,
             qPrintable(QStringLiteral("mark at %1, %2, %3 mm, radius %4 mm")
                            .arg(mark.x()).arg(mark.y()).arg(mark.z()).arg(mark.w())));

    // Views that move nothing start no check.
    live.changed(display(), models);
    QVERIFY2(!live.running(), "an unchanged scene is not checked again");

    // A column under it, added while a check of the bare block goes, drops that check.
    live.start(display(), {standing.get()}, 60);
    std::unique_ptr<Model> column(TestMeshes::makeSupportOf(lifted.get(), TestMeshes::box({7, -1, 0}, {9, 1, 2.1f})));
    models << column.get();
    live.changed(display(), models);
    QVERIFY2(!live.running(), "a change drops the check going");
    QVERIFY2(checkAfterChange(live, models, 60), "the check reports after the support");
    QVERIFY2(lifted->checkMarks.empty() && standing->checkMarks.empty(), "the support clears the mark");
}

QTEST_MAIN(TstLiveCheck)
#include "tst_livecheck.moc"
