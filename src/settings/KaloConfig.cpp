#include "settings/KaloConfig.h"

namespace {
KaloConfig *g_instance = nullptr;
}

KaloConfig::KaloConfig(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
}

KaloConfig::~KaloConfig()
{
    if (g_instance == this)
        g_instance = nullptr;
}

KaloConfig *KaloConfig::instance()
{
    if (!g_instance)
        new KaloConfig();
    return g_instance;
}
