#pragma once

#include <QString>
#include <QStringList>

class KaloApp;
class KaloConfig;
class QQmlApplicationEngine;
class QQuickItem;

// The steps of start-up that main() shares with the tests.
namespace Startup {

// The URI under which the QML imports the program's own types.
inline constexpr const char *qmlModuleUri = "Kalo3D";

// Scale of the user interface: logical DPI / 96, never below 1.
double dpiRatio(double logicalDpi);

// Base name of the translation file for the user's most preferred UI
// language ("kalo3d_de_DE" for "de-DE"); empty when no language is known.
QString translationFileName(const QStringList &uiLanguages);

// Names the maker for the settings the file dialog keeps (its last folder).
void setOrganization();

// Registers "KaloModel" and "Kalo3DScene" under qmlModuleUri, version 1.0.
void registerQmlTypes();

// Sets the context properties the main window reads; call before loading it.
void setContextProperties(QQmlApplicationEngine &engine, KaloApp &app, KaloConfig &config);

// The item named "Kalo3DScene" under the main window, or null.
QQuickItem *findSceneItem(const QQmlApplicationEngine &engine);

// After the main window has loaded: the scene repaints when the models
// change, and choosing an archive (KaloApp::readyToSlice) starts slicing.
void connectSignals(KaloApp &app);

} // namespace Startup
