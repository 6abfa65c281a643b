#include "app/FileNames.h"

#include <QDir>
#include <QtTest>

// The names typed into the file dialog: where they lead, whatever the
// program's working folder.
class TstFileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typedNameLeadsTo_data();
    void typedNameLeadsTo();
};

void TstFileNames::typedNameLeadsTo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("suffix"); // appended unless the name ends in it
    QTest::addColumn<QString>("file");   // empty: nothing chosen
    const QString shown = QStringLiteral("/srv/jobs");
    const QString home = QDir::homePath();
    QTest::newRow("bare name") << "boat" << ".kalo3d" << shown + "/boat.kalo3d";
    QTest::newRow("suffix in capitals") << "BOAT.KALO3D" << ".kalo3d" << shown + "/BOAT.KALO3D";
    QTest::newRow("other suffix kept") << "boat.cws" << ".kalo3d" << shown + "/boat.cws.kalo3d";
    QTest::newRow("spaces around") << "  my boat.cws " << ".cws" << shown + "/my boat.cws";
    QTest::newRow("relative path") << "old/../new/boat.cws" << ".cws" << shown + "/new/boat.cws";
    QTest::newRow("absolute path") << "/tmp/boat.cws" << ".cws" << "/tmp/boat.cws";
    QTest::newRow("home") << "~/boat.stl" << "" << home + "/boat.stl";
    QTest::newRow("file URL") << "file:///tmp/a%20b.stl" << "" << "/tmp/a b.stl";
    QTest::newRow("nothing") << "   " << ".cws" << "";
}

void TstFileNames::typedNameLeadsTo()
{
    QFETCH(QString, typed);
    QFETCH(QString, suffix);
    QFETCH(QString, file);
    const QUrl chosen = FileNames::withSuffix(FileNames::resolve(typed, QUrl::fromLocalFile("/srv/jobs")), suffix);
    QCOMPARE(chosen.toLocalFile(), file);
}

QTEST_GUILESS_MAIN(TstFileNames)
#include "tst_filenames.moc"
