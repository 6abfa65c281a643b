#pragma once

#include <QString>
#include <QStringList>

class KaloApp;
class KaloConfig;
class KaloModel;
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

// The model manager's wiring to the application object: choosing an archive
// (KaloApp::readyToSlice) slices into it, and what the manager must tell
// the user shows in the critical message box.
void connectModelManager(KaloApp &app, KaloModel &manager);

// After the main window has loaded: connectModelManager for the window's
// model manager, the scene repaints when the models change, and files
// dropped on the scene open.
void connectSignals(KaloApp &app);

} // namespace Startup
