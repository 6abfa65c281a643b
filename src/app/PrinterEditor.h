#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <vector>

class KaloConfig;
struct PrinterProfile;

// The "Printers..." page's access to the printers of a KaloConfig, reached
// from QML as "kalo3dPrinters". Every change is validated, stored in the
// user's printer file and keeps the selected printer selected (the initial
// one when it was deleted). Methods that change something return "" or, when
// refused, the message for the user, and change nothing then.
//
// A printer as QML sees it: name, resolutionX, resolutionY (pixels), sizeX,
// sizeY, height (mm), mirrorX, mirrorY, portrait, sl1 (bools), builtIn.
//
// GUI thread only.
class PrinterEditor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList names READ names NOTIFY printersChanged)
public:
    explicit PrinterEditor(KaloConfig &settings, QObject *parent = nullptr);

    QStringList names() const;
    Q_INVOKABLE QVariantMap printer(int index) const;
    // Stores fields as printer index, or as a new printer for index -1.
    // Built-in printers are not changed.
    Q_INVOKABLE QString save(int index, const QVariantMap &fields);
    // A user printer with index's settings, named "<name> copy" (numbered
    // when taken).
    Q_INVOKABLE QString copy(int index);
    Q_INVOKABLE QString remove(int index);
    // Adds the printers of a printer file.
    Q_INVOKABLE QString importFile(const QUrl &file);
    // Writes printer index to a printer file.
    Q_INVOKABLE QString exportFile(int index, const QUrl &file) const;
    // ".cws" or ".sl1": the archive the selected printer reads.
    Q_INVOKABLE QString archiveSuffix() const;

Q_SIGNALS:
    void printersChanged();

private:
    QString apply(std::vector<PrinterProfile> user);

    KaloConfig &m_settings;
};
