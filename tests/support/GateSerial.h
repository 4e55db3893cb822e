#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "serial/NerloSerial.h"
#include "support/Wait.h"

namespace corvanta::test {

// Holds the receive thread inside a byte while the gate is shut, so the bytes
// behind it stay queued in the line meanwhile. The gate starts open.
class GateSerial : public NerloSerial {
public:
    // Closes here, while this class's OnReceiveByte is still the one called.
    ~GateSerial() {
        OpenGate();
        Close();
    }
    void OnReceiveByte(std::uint8_t byte) override {
        {
            std::unique_lock lock(mutex);
            if (!gateOpen) {
                held = true;
                changed.notify_all();
                changed.wait(lock, [&] { return gateOpen; });
            }
        }
        NerloSerial::OnReceiveByte(byte);
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kWait, [&] { return held; });
    }
    // The next byte is held until OpenGate.
    void ShutGate() {
        std::lock_guard lock(mutex);
        gateOpen = false;
        held = false;
    }
    void OpenGate() {
        {
            std::lock_guard lock(mutex);
            gateOpen = true;
        }
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool gateOpen = true;
};

} // namespace corvanta::test
