#include "doserreply.h"
#include "k310link.h"
#include "ptypair.h"
#include "scriptedpeer.h"

#include <QTest>

#include <atomic>
#include <cstddef>

// Counts the heap allocations of the threads that ask for it, by standing in for the C
// library's allocator (operator new ends up here too). Sanitizers bring their own allocator.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define K310_COUNTS_ALLOCATIONS 1

namespace {

std::atomic<long> allocations {0};
thread_local bool countsAllocations = false;

void noteAllocation()
{
    if (countsAllocations)
        ++allocations;
}

} // namespace

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);

void *malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}
}
#endif

namespace {

constexpr quint8 DoserAddress = 30;
constexpr int WarmUp = 20;
constexpr int Counted = 200;
constexpr int ReplyWaitMs = 5000;

} // namespace

class tst_K310LinkAllocations : public QObject
{
    Q_OBJECT

private slots:
    void transactionsAllocateNothingOnceThePortIsOpen();
};

void tst_K310LinkAllocations::transactionsAllocateNothingOnceThePortIsOpen()
{
#ifndef K310_COUNTS_ALLOCATIONS
    QSKIP("Allocations are counted only with the C library's own allocator");
#else
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScriptedPeer peer(pty, K310FrameLength, doserReply);
    K310Link link(QString::fromStdString(pty.slavePath()));
    QCOMPARE(link.lastError(), qint8(1));
    QCOMPARE(link.setReplyTimeout(150), 1);
    peer.start();

    // Replies go to a direct receiver only: a queued one would allocate its event, which is
    // Qt's cost of crossing threads, not the link's.
    std::atomic<int> replies {0};
    std::atomic<int> intact {0};
    connect(
        &link, &K310Link::replyPacketReceived, this,
        [&](const K310DataPacket &packet, quint32, quint32) {
            countsAllocations = true;
            intact += packet.linkError == K310DataPacket::ReplyIntact ? 1 : 0;
            ++replies;
        },
        Qt::DirectConnection);

    const K310DataPacket request = requestPacket(DoserAddress, 24, 20, 0);
    for (int i = 0; i < WarmUp; ++i)
        link.sendCommandPacket(request);
    QTRY_COMPARE_WITH_TIMEOUT(replies.load(), WarmUp, ReplyWaitMs);
    QTRY_VERIFY(link.isIdle());

    allocations = 0;
    for (int i = 0; i < Counted; ++i) {
        countsAllocations = true;
        link.sendCommandPacket(request);
        countsAllocations = false;
    }
    QTRY_COMPARE_WITH_TIMEOUT(replies.load(), WarmUp + Counted, ReplyWaitMs);
    QTRY_VERIFY(link.isIdle());
    QCOMPARE(intact.load(), WarmUp + Counted);
    QCOMPARE(allocations.load(), 0L);
#endif
}

QTEST_GUILESS_MAIN(tst_K310LinkAllocations)
#include "tst_k310linkallocations.moc"
