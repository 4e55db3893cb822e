#include "WindowMessages.h"

#include <QCoreApplication>
#include <map>
#include <mutex>

namespace corvanta::ui {

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
    QCoreApplication::postEvent(window, new ReplyEvent(messageId, reply));
}

void EventNotifyTarget::PostPortLost(const SerialError &error) {
    QCoreApplication::postEvent(window, new PortLostEvent(portLostMessage, error));
}

} // namespace corvanta::ui
