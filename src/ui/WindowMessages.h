#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

#include "protocol/ReplyFields.h"
#include "serial/NerloSerial.h"

namespace corvanta::ui {

// The id registered under a name, the same for the same name for the whole
// run; 0 when Qt has no event type left. Qt's custom event types stand in
// for registered window messages.
std::uint32_t RegisterWindowMessage(const std::string &name);

// Qt hands a posted event over under its own lock, which ThreadSanitizer
// cannot see in an uninstrumented Qt: these mark that hand-over for it.
// MarkPosted before postEvent, MarkReceived before reading the event. No-ops
// in other builds.
void MarkPosted(const QEvent *event);
void MarkReceived(const QEvent *event);

// One complete reply, carried as a copy so that its handler sees exactly one frame.
class ReplyEvent : public QEvent {
public:
    ReplyEvent(std::uint32_t messageId, const ReplyFields &reply)
        : QEvent(static_cast<QEvent::Type>(messageId)), reply(reply) {}
    const ReplyFields reply;
};

class PortLostEvent : public QEvent {
public:
    PortLostEvent(std::uint32_t messageId, const SerialError &error)
        : QEvent(static_cast<QEvent::Type>(messageId)), error(error) {}
    const SerialError error;
};

// Posts the serial object's notifications as events to a window; safe from
// the receive thread, since postEvent is.
class EventNotifyTarget : public NotifyTarget {
public:
    EventNotifyTarget(QObject *window, std::uint32_t portLostMessage)
        : window(window), portLostMessage(portLostMessage) {}
    void PostReplyMessage(std::uint32_t messageId, const ReplyFields &reply) override;
    void PostPortLost(const SerialError &error) override;

private:
    QObject *window;
    std::uint32_t portLostMessage;
};

} // namespace corvanta::ui
