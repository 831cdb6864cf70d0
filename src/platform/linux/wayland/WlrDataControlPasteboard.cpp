#include "platform/linux/wayland/WlrDataControlPasteboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wlr-data-control-unstable-v1-client-protocol.h>

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <utility>
#include <vector>

#include "platform/linux/UniqueFd.h"
#include "platform/linux/ui/QtTranslations.h"

namespace sayvo {

namespace {

using Clock = std::chrono::steady_clock;

// Readers ask by these names: the Wayland ones and the X11 targets that
// XWayland's bridge and older toolkits use.
constexpr const char* kOfferedTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING",
                                         "TEXT", "STRING"};
// Of another client's types, the ones that promise UTF-8 first.
constexpr const char* kReadableTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain",
                                          "TEXT", "STRING"};
constexpr auto kReadLimit = std::chrono::seconds(1);
// Covers a compositor busy with something else, not a dead one.
constexpr auto kSetLimit = std::chrono::seconds(2);
// A reader that takes nothing for this long has gone away or never will read.
constexpr auto kStallLimit = std::chrono::seconds(10);
// Restoring a clipboard larger than this is not worth holding it in memory.
constexpr std::size_t kMaxReadSize = std::size_t{64} << 20;

template <typename T, void (*Destroy)(T*)>
struct ProxyDeleter {
    void operator()(T* proxy) const { Destroy(proxy); }
};
template <typename T, void (*Destroy)(T*)>
using Owned = std::unique_ptr<T, ProxyDeleter<T, Destroy>>;

using DisplayPtr = Owned<wl_display, wl_display_disconnect>;
using RegistryPtr = Owned<wl_registry, wl_registry_destroy>;
using CallbackPtr = Owned<wl_callback, wl_callback_destroy>;
using SeatPtr = Owned<wl_seat, wl_seat_destroy>;
using ManagerPtr = Owned<zwlr_data_control_manager_v1, zwlr_data_control_manager_v1_destroy>;
using DevicePtr = Owned<zwlr_data_control_device_v1, zwlr_data_control_device_v1_destroy>;
using SourcePtr = Owned<zwlr_data_control_source_v1, zwlr_data_control_source_v1_destroy>;
using OfferPtr = Owned<zwlr_data_control_offer_v1, zwlr_data_control_offer_v1_destroy>;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

// A reader that hangs up must not end us with SIGPIPE, and pipes know no
// MSG_NOSIGNAL: the signal is blocked around the write, and one the write
// raised is taken back before it is unblocked.
ssize_t writeWithoutSigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipeOnly, previous, pending;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE);
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    if (written < 0 && error == EPIPE && !alreadyPending) {
        const timespec now{};
        while (sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

struct Offer {
    OfferPtr proxy;
    std::vector<std::string> types;
};

// One paste being written to a reader's pipe.
struct Transfer {
    UniqueFd fd;
    std::shared_ptr<const std::string> text;
    std::size_t written = 0;
    Clock::time_point lastProgress = Clock::now();
    std::unique_ptr<QSocketNotifier> notifier;
};

}  // namespace

struct WlrDataControlPasteboard::Impl {
    DisplayPtr display;
    SeatPtr seat;
    ManagerPtr manager;
    DevicePtr device;
    // While set, the selection is ours and holds `text`.
    SourcePtr source;
    std::shared_ptr<const std::string> text;
    // The same for the primary selection.
    SourcePtr primarySource;
    std::shared_ptr<const std::string> primaryText;
    std::vector<std::unique_ptr<Offer>> offers;
    Offer* selection = nullptr;
    std::list<Transfer> transfers;
    std::unique_ptr<QSocketNotifier> readable, writable;
    std::unique_ptr<QTimer> stallCheck;
    QObject context;  // destroyed first: no callback outlives the members

    // The connection works and the seat's selection can be reached.
    bool usable() {
        if (!display || !device) return false;
        if (wl_display_get_error(display.get()) == 0) return true;
        stopWatching();
        return false;
    }

    void stopWatching() {
        if (readable) readable->setEnabled(false);
        if (writable) writable->setEnabled(false);
    }

    void watch() {
        const int fd = wl_display_get_fd(display.get());
        readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(readable.get(), &QSocketNotifier::activated, &context,
                         [this] { readEvents(); });
        writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        writable->setEnabled(false);
        QObject::connect(writable.get(), &QSocketNotifier::activated, &context,
                         [this] { flush(); });
        // Events read in along with a reply we waited for sit in the queue
        // without a word from the socket; requests made anywhere go out
        // before the loop sleeps.
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, &context,
                         [this] { dispatchPending(); });
        stallCheck = std::make_unique<QTimer>();
        stallCheck->setInterval(std::chrono::seconds(1));
        QObject::connect(stallCheck.get(), &QTimer::timeout, &context, [this] { dropStalled(); });
    }

    void readEvents() {
        wl_display* d = display.get();
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0) return stopWatching();
        }
        if (wl_display_read_events(d) < 0) return stopWatching();
        dispatchPending();
    }

    void dispatchPending() {
        if (!display || wl_display_get_error(display.get()) != 0) return stopWatching();
        if (wl_display_dispatch_pending(display.get()) < 0) return stopWatching();
        flush();
    }

    void flush() {
        const bool sent = wl_display_flush(display.get()) >= 0;
        if (!sent && errno != EAGAIN) return stopWatching();
        writable->setEnabled(!sent);
    }

    // Waits for the compositor to have handled everything sent so far,
    // dispatching what arrives meanwhile. False when it does not answer in time.
    bool sync(Clock::time_point deadline) {
        static const wl_callback_listener done = {
            [](void* flag, wl_callback*, uint32_t) { *static_cast<bool*>(flag) = true; }};
        wl_display* d = display.get();
        bool answered = false;
        CallbackPtr callback(wl_display_sync(d));
        wl_callback_add_listener(callback.get(), &done, &answered);
        while (!answered && wl_display_get_error(d) == 0) {
            bool failed = false;
            while (!failed && wl_display_prepare_read(d) != 0) {
                failed = wl_display_dispatch_pending(d) < 0;
            }
            if (failed) break;
            if (answered) {
                wl_display_cancel_read(d);
                break;
            }
            const bool unsent = wl_display_flush(d) < 0 && errno == EAGAIN;
            pollfd p{wl_display_get_fd(d), short(POLLIN | (unsent ? POLLOUT : 0)), 0};
            const int left = millisecondsLeft(deadline);
            if (left == 0 || (::poll(&p, 1, left) < 0 && errno != EINTR)) {
                wl_display_cancel_read(d);
                break;
            }
            if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
                if (wl_display_read_events(d) < 0) break;
            } else {
                wl_display_cancel_read(d);
            }
            wl_display_dispatch_pending(d);
        }
        if (wl_display_get_error(d) != 0) stopWatching();
        return answered;
    }

    bool flushWithin(Clock::time_point deadline) {
        wl_display* d = display.get();
        while (wl_display_flush(d) < 0) {
            if (errno != EAGAIN) return false;
            pollfd p{wl_display_get_fd(d), POLLOUT, 0};
            const int left = millisecondsLeft(deadline);
            if (left == 0 || (::poll(&p, 1, left) < 0 && errno != EINTR)) return false;
        }
        return true;
    }

    void serve(int fd, const std::shared_ptr<const std::string>& served) {
        UniqueFd out(fd);
        if (!served) return;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        const auto transfer = transfers.emplace(transfers.end());
        transfer->fd = std::move(out);
        transfer->text = served;
        if (!pump(*transfer)) {
            transfers.erase(transfer);
            return;
        }
        transfer->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(transfer->notifier.get(), &QSocketNotifier::activated, &context,
                         [this, transfer] {
                             if (!pump(*transfer)) finish(transfer);
                         });
        stallCheck->start();
    }

    // Makes `text` the selection (or the primary one); true once the
    // compositor has taken it.
    bool offer(const std::string& value, bool primary) {
        if (!usable()) return false;
        zwlr_data_control_source_v1* proxy =
            zwlr_data_control_manager_v1_create_data_source(manager.get());
        if (!proxy) return false;
        zwlr_data_control_source_v1_add_listener(proxy, &sourceListener, this);
        for (const char* type : kOfferedTypes) zwlr_data_control_source_v1_offer(proxy, type);
        if (primary) {
            zwlr_data_control_device_v1_set_primary_selection(device.get(), proxy);
        } else {
            zwlr_data_control_device_v1_set_selection(device.get(), proxy);
        }
        // Pastes already under way keep the text they asked for.
        (primary ? primarySource : source).reset(proxy);
        (primary ? primaryText : text) = std::make_shared<const std::string>(value);
        // Cancelled at once means the compositor would not have it.
        return sync(Clock::now() + kSetLimit) && (primary ? primarySource : source).get() == proxy;
    }

    // Writes what the pipe takes now; false once the transfer is over.
    static bool pump(Transfer& transfer) {
        const std::string& text = *transfer.text;
        while (transfer.written < text.size()) {
            const ssize_t n = writeWithoutSigpipe(transfer.fd.get(), text.data() + transfer.written,
                                                  text.size() - transfer.written);
            if (n < 0) return errno == EAGAIN || errno == EINTR;
            transfer.written += static_cast<std::size_t>(n);
            transfer.lastProgress = Clock::now();
        }
        return false;
    }

    void finish(std::list<Transfer>::iterator transfer) {
        // It may be the notifier whose signal is being delivered.
        transfer->notifier->setEnabled(false);
        transfer->notifier.release()->deleteLater();
        transfers.erase(transfer);
        if (transfers.empty()) stallCheck->stop();
    }

    void dropStalled() {
        const auto now = Clock::now();
        for (auto it = transfers.begin(); it != transfers.end();) {
            const auto next = std::next(it);
            if (now - it->lastProgress > kStallLimit) finish(it);
            it = next;
        }
    }

    void chooseSelection(zwlr_data_control_offer_v1* proxy) {
        // Every offer but the new selection is stale: we never ask for the
        // primary selection's.
        selection = nullptr;
        std::erase_if(offers, [&](const std::unique_ptr<Offer>& offer) {
            if (offer->proxy.get() != proxy) return true;
            selection = offer.get();
            return false;
        });
    }

    static const zwlr_data_control_device_v1_listener deviceListener;
    static const zwlr_data_control_offer_v1_listener offerListener;
    static const zwlr_data_control_source_v1_listener sourceListener;
    static const wl_registry_listener registryListener;
};

const zwlr_data_control_offer_v1_listener WlrDataControlPasteboard::Impl::offerListener = {
    [](void* data, zwlr_data_control_offer_v1*, const char* type) {
        static_cast<Offer*>(data)->types.emplace_back(type);
    }};

const zwlr_data_control_device_v1_listener WlrDataControlPasteboard::Impl::deviceListener = {
    [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* proxy) {
        auto* self = static_cast<Impl*>(data);
        auto& offer = self->offers.emplace_back(std::make_unique<Offer>());
        offer->proxy.reset(proxy);
        zwlr_data_control_offer_v1_add_listener(proxy, &offerListener, offer.get());
    },
    [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* proxy) {
        static_cast<Impl*>(data)->chooseSelection(proxy);
    },
    [](void* data, zwlr_data_control_device_v1*) {
        // The seat is gone: nothing of ours can be pasted any more.
        auto* self = static_cast<Impl*>(data);
        self->chooseSelection(nullptr);
        self->source.reset();
        self->text.reset();
        self->primarySource.reset();
        self->primaryText.reset();
        self->device.reset();
    },
    [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* proxy) {
        // Another client's primary selection is never read: its offer goes at once.
        auto* self = static_cast<Impl*>(data);
        std::erase_if(self->offers, [&](const std::unique_ptr<Offer>& offer) {
            return proxy && offer->proxy.get() == proxy && offer.get() != self->selection;
        });
    },
};

const zwlr_data_control_source_v1_listener WlrDataControlPasteboard::Impl::sourceListener = {
    [](void* data, zwlr_data_control_source_v1* proxy, const char*, int32_t fd) {
        auto* self = static_cast<Impl*>(data);
        self->serve(fd, proxy == self->primarySource.get() ? self->primaryText : self->text);
    },
    [](void* data, zwlr_data_control_source_v1* proxy) {
        // Another client took the selection.
        auto* self = static_cast<Impl*>(data);
        if (self->source.get() == proxy) {
            self->source.reset();
            self->text.reset();
        } else if (self->primarySource.get() == proxy) {
            self->primarySource.reset();
            self->primaryText.reset();
        }
    },
};

const wl_registry_listener WlrDataControlPasteboard::Impl::registryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        // Version 1 of the seat: we need no seat events. Version 2 of the
        // manager brings the primary selection. With several seats, the
        // first one's clipboard it is.
        auto* self = static_cast<Impl*>(data);
        if (!self->seat && std::strcmp(interface, wl_seat_interface.name) == 0) {
            self->seat.reset(
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1)));
        } else if (!self->manager &&
                   std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
            self->manager.reset(static_cast<zwlr_data_control_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface,
                                 std::min<uint32_t>(version, 2))));
        }
    },
    [](void*, wl_registry*, uint32_t) {},
};

std::unique_ptr<WlrDataControlPasteboard> WlrDataControlPasteboard::connect(std::string* whyNot) {
    const auto fail = [whyNot](const Text& reason) {
        if (whyNot) *whyNot = translated(reason);
        return nullptr;
    };
    // libwayland would otherwise try "wayland-0", even in an X11 session.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((!name || !*name) && (!socket || !*socket)) return fail(kNoDisplayReason);
    auto impl = std::make_unique<Impl>();
    impl->display.reset(wl_display_connect(nullptr));
    if (!impl->display) return fail(kNoDisplayReason);
    const auto deadline = Clock::now() + kSetLimit;
    {
        RegistryPtr registry(wl_display_get_registry(impl->display.get()));
        wl_registry_add_listener(registry.get(), &Impl::registryListener, impl.get());
        if (!impl->sync(deadline)) return fail(kNoDisplayReason);
    }
    if (!impl->manager) return fail(kNoProtocolReason);
    if (!impl->seat) return fail(kNoSeatReason);
    impl->device.reset(
        zwlr_data_control_manager_v1_get_data_device(impl->manager.get(), impl->seat.get()));
    zwlr_data_control_device_v1_add_listener(impl->device.get(), &Impl::deviceListener, impl.get());
    if (!impl->sync(deadline)) return fail(kNoDisplayReason);  // the first selection is here now
    impl->watch();
    return std::unique_ptr<WlrDataControlPasteboard>(new WlrDataControlPasteboard(std::move(impl)));
}

WlrDataControlPasteboard::WlrDataControlPasteboard(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)) {}

WlrDataControlPasteboard::~WlrDataControlPasteboard() = default;

void WlrDataControlPasteboard::clearContents() {
    Impl& s = *impl_;
    if (!s.usable() || !s.source) return;
    zwlr_data_control_device_v1_set_selection(s.device.get(), nullptr);
    s.source.reset();
    s.text.reset();
    s.sync(Clock::now() + kSetLimit);
}

bool WlrDataControlPasteboard::setString(const std::string& text) {
    return impl_->offer(text, false);
}

bool WlrDataControlPasteboard::hasPrimarySelection() const {
    return impl_->manager && zwlr_data_control_manager_v1_get_version(impl_->manager.get()) >=
                                 ZWLR_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION_SINCE_VERSION;
}

bool WlrDataControlPasteboard::setPrimarySelection(const std::string& text) {
    return hasPrimarySelection() && impl_->offer(text, true);
}

std::optional<std::string> WlrDataControlPasteboard::string() const {
    Impl& s = *impl_;
    if (!s.usable()) return std::nullopt;
    // Another client may have taken the selection since we last looked.
    const auto deadline = Clock::now() + kReadLimit;
    s.sync(deadline);
    if (!s.usable()) return std::nullopt;
    if (s.source) return *s.text;
    if (!s.selection) return std::nullopt;
    const auto& offered = s.selection->types;
    const auto* type = std::find_if(
        std::begin(kReadableTypes), std::end(kReadableTypes),
        [&](auto t) { return std::find(offered.begin(), offered.end(), t) != offered.end(); });
    if (type == std::end(kReadableTypes)) return std::nullopt;

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd in(ends[0]), out(ends[1]);
    zwlr_data_control_offer_v1_receive(s.selection->proxy.get(), *type, out.get());
    out.reset();  // the request carries a copy; the source's end must be the only one
    if (!s.flushWithin(deadline)) return std::nullopt;
    std::string received;
    char buffer[65536];
    for (;;) {
        pollfd p{in.get(), POLLIN, 0};
        const int left = millisecondsLeft(deadline);
        if (left == 0) return std::nullopt;
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready <= 0) continue;
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno != EINTR) return std::nullopt;
        if (n == 0) return received;
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
        if (received.size() > kMaxReadSize) return std::nullopt;
    }
}

}  // namespace sayvo
