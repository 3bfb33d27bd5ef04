// TComThread: waits for line events and has their handlers run on the main
// thread.
#include "serial/comms.h"

#include <QMetaObject>

#include <cerrno>
#include <linux/serial.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace hub {

namespace {
std::uint32_t assignedMask(const TComPort* p) {
    std::uint32_t m = 0;
    if (p->OnRxChar) m |= EV_RXCHAR;
    if (p->OnTxEmpty) m |= EV_TXEMPTY;
    if (p->OnRxFlag) m |= EV_RXFLAG;
    if (p->OnRing) m |= EV_RING;
    if (p->OnBreak) m |= EV_BREAK;
    if (p->OnCTS) m |= EV_CTS;
    if (p->OnDSR) m |= EV_DSR;
    if (p->OnError) m |= EV_ERR;
    if (p->OnRLSD) m |= EV_RLSD;
    return m;
}
} // namespace

TComThread::TComThread(TComPort* port)
    : port_(port), fd_(port->fd_), hand_(std::make_shared<Hand>()) {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Only events somebody listens to are waited for: with no handlers (as
    // in both programs) the thread sleeps until it is stopped.
    mask_ = eventMask(port->Events) & assignedMask(port);
    thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
    Stop();
    if (thread_.joinable()) thread_.join();
    if (stopFd_ >= 0) ::close(stopFd_);
}

void TComThread::Stop() {
    {
        std::lock_guard<std::mutex> l(hand_->m);
        hand_->stopping = true;
    }
    hand_->cv.notify_all();
    kick();
}

void TComThread::kick() {
    const std::uint64_t one = 1;
    if (stopFd_ >= 0) [[maybe_unused]] auto r = ::write(stopFd_, &one, sizeof one);
}

bool TComThread::requestDispatch(std::uint32_t mask) {
    std::unique_lock<std::mutex> l(hand_->m);
    if (hand_->stopping) return false;
    hand_->pending = true;
    hand_->mask = mask;
    const std::uint64_t target = hand_->done + 1;
    std::shared_ptr<Hand> hand = hand_;
    TComPort* port = port_;
    QMetaObject::invokeMethod(
        port, [port, hand] { dispatchOnMain(port, hand); }, Qt::QueuedConnection);
    hand_->cv.wait(l, [&] { return hand_->done >= target || hand_->stopping; });
    return !hand_->stopping;
}

void TComThread::runPendingDispatch() { dispatchOnMain(port_, hand_); }

void TComThread::dispatchOnMain(TComPort* port, const std::shared_ptr<Hand>& hand) {
    std::uint32_t mask;
    {
        std::lock_guard<std::mutex> l(hand->m);
        if (!hand->pending) return; // already run, or nothing asked for
        hand->pending = false;
        hand->running = true;
        mask = hand->mask;
    }
    DispatchEvents(port, hand, mask);
    {
        std::lock_guard<std::mutex> l(hand->m);
        hand->running = false;
        ++hand->done;
    }
    hand->cv.notify_all();
}

void TComThread::DispatchEvents(TComPort* port, const std::shared_ptr<Hand>& hand, std::uint32_t mask) {
    // A handler may close the port: stop as soon as this dispatch's thread is gone.
    auto live = [&] { return port->connected_ && port->thread_ && port->thread_->hand_ == hand; };
    auto raise = [&](std::uint32_t bit, const std::function<void(TComPort*)>& h) {
        if ((mask & bit) && h && live()) h(port);
    };
    if ((mask & EV_RXCHAR) && port->OnRxChar && live()) {
        int inQue = 0;
        try {
            inQue = port->InQueCount();
        } catch (const EComError&) {
        }
        port->OnRxChar(port, inQue);
    }
    raise(EV_TXEMPTY, port->OnTxEmpty);
    raise(EV_BREAK, port->OnBreak);
    raise(EV_RING, port->OnRing);
    raise(EV_CTS, port->OnCTS);
    raise(EV_DSR, port->OnDSR);
    raise(EV_RXFLAG, port->OnRxFlag);
    raise(EV_RLSD, port->OnRLSD);
    raise(EV_ERR, port->OnError);
}

void TComThread::Execute() {
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) return;
    // Edge-triggered: each arrival of bytes is one event, like the line's
    // "character received", however long the bytes stay unread.
    epoll_event ev{};
    ev.events = EPOLLET | EPOLLHUP | EPOLLERR;
    if (mask_ & EV_RXCHAR) ev.events |= EPOLLIN;
    if (mask_ & EV_TXEMPTY) ev.events |= EPOLLOUT;
    ev.data.fd = fd_;
    bool watchingFd = ::epoll_ctl(ep, EPOLL_CTL_ADD, fd_, &ev) == 0;
    epoll_event sev{};
    sev.events = EPOLLIN;
    sev.data.fd = stopFd_;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, stopFd_, &sev);

    // Modem lines, breaks and line errors come from the driver's counters,
    // where it keeps them (real UARTs and USB adapters; not pseudo-terminals).
    const std::uint32_t counted = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR;
    serial_icounter_struct last{};
    const bool haveCounters = (mask_ & counted) && ::ioctl(fd_, TIOCGICOUNT, &last) == 0;
    bool txPending = false;

    for (;;) {
        int timeout = -1;
        if (haveCounters) timeout = 100;
        if (txPending) timeout = 10;
        epoll_event got[2];
        const int n = ::epoll_wait(ep, got, 2, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        std::uint32_t events = 0;
        for (int i = 0; i < n; ++i) {
            if (got[i].data.fd == stopFd_) {
                std::uint64_t v;
                [[maybe_unused]] auto r = ::read(stopFd_, &v, sizeof v);
                txPending = (mask_ & EV_TXEMPTY) != 0; // a write, or the stop
                continue;
            }
            if (got[i].events & EPOLLIN) events |= EV_RXCHAR;
            if (got[i].events & (EPOLLHUP | EPOLLERR)) {
                events |= EV_ERR;
                if (watchingFd) ::epoll_ctl(ep, EPOLL_CTL_DEL, fd_, nullptr);
                watchingFd = false;
            }
        }
        {
            std::lock_guard<std::mutex> l(hand_->m);
            if (hand_->stopping) break;
        }
        if (txPending) {
            int outq = 0;
            if (::ioctl(fd_, TIOCOUTQ, &outq) != 0 || outq == 0) {
                events |= EV_TXEMPTY;
                txPending = false;
            }
        }
        if (haveCounters) {
            serial_icounter_struct now{};
            if (::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
                if (now.cts != last.cts) events |= EV_CTS;
                if (now.dsr != last.dsr) events |= EV_DSR;
                if (now.rng != last.rng) events |= EV_RING;
                if (now.dcd != last.dcd) events |= EV_RLSD;
                if (now.brk != last.brk) events |= EV_BREAK;
                if (now.frame != last.frame || now.overrun != last.overrun ||
                    now.parity != last.parity || now.buf_overrun != last.buf_overrun)
                    events |= EV_ERR;
                last = now;
            }
        }
        events &= mask_;
        if (events && !requestDispatch(events)) break;
    }
    // Ending the thread discards unread input and unsent output.
    ::tcflush(fd_, TCIOFLUSH);
    ::close(ep);
}

} // namespace hub
