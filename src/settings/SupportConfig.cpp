#include "settings/SupportConfig.h"

namespace CWS {

SupportConfig::SupportConfig(QObject *parent)
    : QObject(parent)
{
}

} // namespace CWS
