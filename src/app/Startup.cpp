#include "app/Startup.h"

#include "app/FileNames.h"
#include "app/KaloApp.h"
#include "app/LayerImageProvider.h"
#include "app/PrinterEditor.h"
#include "settings/KaloConfig.h"
#include "view/KaloScene.h"
#include "workspace/KaloModel.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QScreen>

#include <algorithm>

namespace Startup {

double dpiRatio(double logicalDpi)
{
    return std::max(1.0, logicalDpi / 96.0);
}

QString translationFileName(const QStringList &uiLanguages)
{
    if (uiLanguages.isEmpty())
        return {};
    // Only the first choice counts: falling back to a later language would
    // show a translation the user ranked lower than plain English.
    QString code = uiLanguages.first();
    code.replace(QLatin1Char('-'), QLatin1Char('_'));
    return QStringLiteral("kalo3d_") + code;
}

void setOrganization()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kalo3D"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kalo3d.example.org"));
}

void registerQmlTypes()
{
    qmlRegisterType<KaloModel>(qmlModuleUri, 1, 0, "KaloModel");
    qmlRegisterType<KaloScene>(qmlModuleUri, 1, 0, "Kalo3DScene");
    qmlRegisterSingletonType<FileNames>(qmlModuleUri, 1, 0, "FileNames",
                                        [](QQmlEngine *, QJSEngine *) -> QObject * { return new FileNames; });
}

void setContextProperties(QQmlApplicationEngine &engine, KaloApp &app, KaloConfig &config)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    QQmlContext *context = engine.rootContext();
    context->setContextProperty(QStringLiteral("dpiRatio"),
                                dpiRatio(screen ? screen->logicalDotsPerInch() : 96.0));
    context->setContextProperty(QStringLiteral("kalo3dApp"), &app);
    context->setContextProperty(QStringLiteral("kalo3dConfig"), &config);
    context->setContextProperty(QStringLiteral("supportConfig"), config.supportConfig());
    context->setContextProperty(QStringLiteral("modelResinTypes"), config.resinTypes());
    context->setContextProperty(QStringLiteral("modelAllModels"), config.modelPrinters());
    context->setContextProperty(QStringLiteral("kalo3dPrinters"), new PrinterEditor(config, &config));
    engine.addImageProvider(QStringLiteral("layer"), new LayerImageProvider);
}

QQuickItem *findSceneItem(const QQmlApplicationEngine &engine)
{
    const QList<QObject *> roots = engine.rootObjects();
    if (roots.isEmpty())
        return nullptr;
    return qobject_cast<QQuickItem *>(roots.first()->findChild<QObject *>(QStringLiteral("Kalo3DScene")));
}

void connectModelManager(KaloApp &app, KaloModel &manager)
{
    QObject::connect(&app, &KaloApp::readyToSlice, &manager,
                     [&app, &manager] { manager.sliceTo(app.cwsFileUrl().toLocalFile()); });
    QObject::connect(&manager, &KaloModel::criticalMessage, &app, &KaloApp::showCriticalMsgBox);
    manager.setLiveCheck(true);
}

void connectSignals(KaloApp &app)
{
    KaloModel *manager = KaloModel::instance();
    KaloScene *scene = KaloScene::instance();
    connectModelManager(app, *manager);
    QObject::connect(manager, &KaloModel::kaloModelDataChanged, scene, &KaloScene::updateView);
    QObject::connect(scene, &KaloScene::fileDropped, &app, &KaloApp::open);
}

} // namespace Startup
