// The window under a flood of replies: every frame reaches the reply handling
// exactly once and in order, and the event loop keeps serving timers meanwhile.

#include <QObject>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

#include "GuiFixture.h"
#include "WindowMessages.h"
#include "support/ModuleReply.h"

using namespace corvanta;
using namespace corvanta::gui;

namespace {

// The first count IDs whose replies can stand anywhere in a stream, from 0 on
// and round again past 65535.
std::vector<std::uint16_t> CleanIds(std::size_t count) {
    std::vector<std::uint16_t> ids;
    for (std::uint32_t id = 0; ids.size() < count; id = (id + 1) & 0xFFFF)
        if (test::IsCleanGuestIdReply(static_cast<std::uint16_t>(id)))
            ids.push_back(static_cast<std::uint16_t>(id));
    return ids;
}

// Sees every reply event before the window handles it.
class ReplyCounter : public QObject {
public:
    explicit ReplyCounter(std::uint32_t replyType) : replyType(replyType) {}
    bool eventFilter(QObject *, QEvent *e) override {
        ui::MarkReceived(e);
        if (static_cast<std::uint32_t>(e->type()) == replyType)
            ids.push_back(static_cast<ui::ReplyEvent *>(e)->reply.GuestId());
        return false;
    }
    std::vector<std::uint16_t> ids;

private:
    std::uint32_t replyType;
};

} // namespace

class SoakTest : public QObject {
    Q_OBJECT

private slots:
    void floodIsHandledOnceInOrderWhileTimersRun() {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
        const std::size_t frames = 20000; // the sanitizers slow each event tenfold
#else
        const std::size_t frames = 100000;
#endif
        Pty pty;
        QVERIFY(pty.Ok());
        Windows w({pty.SlavePath()});
        QVERIFY(w.open());
        ReplyCounter counter(w.form1.replyMessageId());
        w.form1.installEventFilter(&counter);

        int ticks = 0;
        int ticksDuringFlood = 0;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            if (!counter.ids.empty() && counter.ids.size() < frames)
                ++ticksDuringFlood;
        });
        timer.start();

        const std::vector<std::uint16_t> ids = CleanIds(frames);
        std::atomic<bool> written{false};
        std::thread writer([&] {
            QByteArray stream;
            std::uint32_t noise = 12345;
            for (std::uint16_t id : ids) {
                // A little noise between frames, none of it a start byte.
                for (int k = 0; k < 3; ++k) {
                    noise = noise * 1103515245u + 12345u;
                    const char b = static_cast<char>((noise >> 16) & 0xFF);
                    stream.append(b == static_cast<char>(0xAF) ? '\x55' : b);
                }
                const auto frame = test::GuestIdReply(id);
                stream.append(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size()));
                if (stream.size() > 64 * 1024) {
                    pty.WriteMaster(stream);
                    stream.clear();
                }
            }
            pty.WriteMaster(stream);
            written = true;
        });

        QTRY_VERIFY_WITH_TIMEOUT(counter.ids.size() >= frames, 120000);
        writer.join();
        QVERIFY(written);
        QTest::qWait(100);
        QCOMPARE(counter.ids.size(), frames);
        QVERIFY(counter.ids == ids);
        QCOMPARE(w.main().suiEdit_GuestId->text(), QString::asprintf("%05u", static_cast<unsigned>(ids.back())));
        QVERIFY(w.status().endsWith(QStringLiteral("Read Customer ID Success!")));
        QVERIFY2(ticksDuringFlood > 0, "the timer never ran while replies were being handled");
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
