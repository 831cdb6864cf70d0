#include "platform/linux/desktop/QuitOnSignal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>

namespace sayvo {

namespace {
volatile std::sig_atomic_t gWriteFd = -1;

extern "C" void onQuitSignal(int) {
    const char byte = 1;
    if (gWriteFd >= 0) [[maybe_unused]]
        auto n = ::write(gWriteFd, &byte, 1);
}
}  // namespace

QuitOnSignal::QuitOnSignal() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
    writeEnd_.reset(fds[0]);
    readEnd_.reset(fds[1]);
    gWriteFd = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char byte = 0;
        [[maybe_unused]] auto n = ::read(readEnd_.get(), &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    gWriteFd = -1;
    notifier_.reset();
}

}  // namespace sayvo
