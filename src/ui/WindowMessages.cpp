#include "WindowMessages.h"

#include <QCoreApplication>
#include <map>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#define CORVANTA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANTA_TSAN 1
#endif
#endif
#ifdef CORVANTA_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace corvanta::ui {

void MarkPosted([[maybe_unused]] const QEvent *event) {
#ifdef CORVANTA_TSAN
    __tsan_release(const_cast<QEvent *>(event));
#endif
}

void MarkReceived([[maybe_unused]] const QEvent *event) {
#ifdef CORVANTA_TSAN
    __tsan_acquire(const_cast<QEvent *>(event));
#endif
}

std::uint32_t RegisterWindowMessage(const std::string &name) {
    static std::mutex lock;
    static std::map<std::string, std::uint32_t> registered;
    std::lock_guard guard(lock);
    auto it = registered.find(name);
    if (it != registered.end())
        return it->second;
    const int type = QEvent::registerEventType();
    const std::uint32_t id = type < 0 ? 0 : static_cast<std::uint32_t>(type);
    registered.emplace(name, id);
    return id;
}

void EventNotifyTarget::PostReplyMessage(std::uint32_t messageId, const ReplyFields &reply) {
    auto *event = new ReplyEvent(messageId, reply);
    MarkPosted(event);
    QCoreApplication::postEvent(window, event);
}

void EventNotifyTarget::PostPortLost(const SerialError &error) {
    auto *event = new PortLostEvent(portLostMessage, error);
    MarkPosted(event);
    QCoreApplication::postEvent(window, event);
}

} // namespace corvanta::ui
