#pragma once

#include <QObject>

namespace CWS {

// Dimensions of the support columns, edited in the support panel. Owned by
// KaloConfig and reached from QML as "supportConfig".
class SupportConfig : public QObject
{
    Q_OBJECT
public:
    explicit SupportConfig(QObject *parent = nullptr);
};

} // namespace CWS
