#include "app/Interruption.h"

#include <QDebug>

#include <atomic>
#include <csignal>

namespace {

constexpr int caught[] = {SIGINT, SIGTERM};

// A signal handler may only set a flag; the event loop looks at it. Any
// thread may take the signal: the flag is a lock-free atomic, which a
// handler may write. The actions the signals had before are given back
// after the first one.
std::atomic<int> g_received{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction g_before[2];

void restoreActions()
{
    for (int i = 0; i < 2; ++i)
        sigaction(caught[i], &g_before[i], nullptr);
}

void onSignal(int signal)
{
    restoreActions();
    g_received.store(signal);
}

} // namespace

Interruption::Interruption(QObject *parent)
    : QObject(parent)
{
    g_received.store(0);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) {
        sigaction(caught[i], nullptr, &g_before[i]);
        // A signal the program was started to ignore (a background job)
        // stays ignored.
        if (g_before[i].sa_handler != SIG_IGN)
            sigaction(caught[i], &action, nullptr);
    }
    connect(&m_timer, &QTimer::timeout, this, &Interruption::look);
    m_timer.start(50);
}

Interruption::~Interruption()
{
    if (!g_received.load())
        restoreActions();
}

void Interruption::look()
{
    if (!g_received.load() || m_signal)
        return;
    m_signal = g_received.load();
    m_timer.stop();
    qDebug() << "interrupted by signal" << m_signal;
    Q_EMIT interrupted();
}
