#pragma once

// Drives the main window's controls the way a person does: the menu through
// its shortcuts, the file dialog by choosing a file, spin boxes by typing.
// Header-only.

#include "common/MainWindow.h"
#include "common/StlWriter.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

namespace UiDriver {

// The window titled title among the application's windows (dialogs of the
// main window are windows of their own), or null.
inline QQuickWindow *windowTitled(const QString &title)
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && window->title() == title)
            return qobject_cast<QQuickWindow *>(window);
    }
    return nullptr;
}

// The first item under root (root included) whose text is text: a button
// of a dialog.
inline QQuickItem *itemWithText(QQuickItem *root, const QString &text)
{
    if (root->property("text").toString() == text && root->isVisible())
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = itemWithText(child, text))
            return found;
    }
    return nullptr;
}

// Clicks the button labelled text in a dialog's window; false when there is none.
inline bool clickButton(QQuickWindow *dialog, const QString &text)
{
    QQuickItem *button = dialog ? itemWithText(dialog->contentItem(), text) : nullptr;
    if (!button)
        return false;
    QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, MainWindow::centreOf(button));
    return true;
}

// Picks file in the open file dialog and confirms it, as typing a name into
// it and pressing Enter does.
inline bool chooseFile(QObject *fileDialog, const QString &file)
{
    if (!fileDialog->property("visible").toBool())
        return false;
    // The dialog's functions are QML's: they take and return variants.
    QVariant added;
    QMetaObject::invokeMethod(fileDialog, "clearSelection");
    QMetaObject::invokeMethod(fileDialog, "addSelection", Q_RETURN_ARG(QVariant, added),
                              Q_ARG(QVariant, QUrl::fromLocalFile(file)));
    if (!added.toBool())
        return false;
    return QMetaObject::invokeMethod(fileDialog, "accept");
}

// Replaces the text of a spin box by text and presses commitKey: Enter, or
// Tab in a dialog, where Enter would press OK.
inline void typeInto(QQuickWindow *window, QQuickItem *spinBox, const QString &text,
                     Qt::Key commitKey = Qt::Key_Return)
{
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                      spinBox->mapToScene(QPointF(spinBox->width() / 3, spinBox->height() / 2)).toPoint());
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : text)
        QTest::keyClick(window, c.toLatin1());
    QTest::keyClick(window, commitKey);
}

// Writes mesh as an STL file in the working directory.
inline QString stlFile(const QString &name, const MeshPrimitiveData &mesh)
{
    const QString path = QDir::current().absoluteFilePath(name);
    return StlWriter::write(path, mesh, StlWriter::Binary) ? path : QString();
}

// Makes the main window the active one again after a dialog closed, as the
// window manager of a desktop does.
inline bool reactivate(const MainWindow &main)
{
    // A dialog is a transient child of the main window, so the main window
    // counts as active while the hidden dialog still has the focus.
    main.window()->requestActivate();
    return QTest::qWaitFor([&main] { return QGuiApplication::focusWindow() == main.window(); });
}

// Opens file through File → Open (its shortcut) and the file dialog.
inline bool openThroughMenu(const MainWindow &main, const QString &file)
{
    QTest::keyClick(main.window(), Qt::Key_O, Qt::ControlModifier);
    auto *dialog = main.item<QObject>(QStringLiteral("fileDialog"));
    if (!dialog || dialog->property("mode").toString() != QLatin1String("Open"))
        return false;
    return chooseFile(dialog, file) && reactivate(main);
}

} // namespace UiDriver
