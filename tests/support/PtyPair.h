#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <termios.h>
#include <vector>

namespace corvanta::test {

// A pseudo-terminal standing in for a USB-UART adapter: the code under test
// opens SlavePath(), the test plays the device on the master side.
//
// The pair keeps its own slave descriptor open (raw, never read), so the
// master can be read and written while the port under test is closed; with
// no slave open, reads on the master fail with EIO.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // False when the pty could not be set up; Error() says why.
    bool Ok() const { return masterFd >= 0; }
    const std::string &Error() const { return error; }
    const std::string &SlavePath() const { return slavePath; }

    // Collects up to n bytes sent by the code under test; returns early with
    // fewer when nothing more arrives before the timeout ends.
    std::vector<std::uint8_t> ReadMaster(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Sends bytes to the code under test. False when the line did not take
    // them all within the timeout or the master is closed.
    bool WriteMaster(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The slave's line settings as the code under test left them. Linux
    // clears PARENB on a pty slave; PARODD and INPCK tell the parity.
    std::optional<termios> SlaveTermios() const;

    // Bytes the slave side has received and nobody has read yet.
    int SlaveInputQueued() const;

    // Pulls the plug: the slave side sees a hang-up.
    void CloseMaster();

private:
    int masterFd = -1;
    int slaveFd = -1;
    std::string slavePath;
    std::string error;
};

} // namespace corvanta::test
