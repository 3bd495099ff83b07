// Readiness notifications of sockets on the UI thread: only while wanted, repeated while the
// socket stays ready, never re-entering a handler that runs an event loop, never for a socket
// whose descriptor was closed or handed to a new socket, and never stale after a nested loop.

#include <gtest/gtest.h>

#include <memory>

#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QCoreApplication>

#include "AsyncSelect.h"
#include "Exception.h"
#include "MessageSeam.h"
#include "TestSupport.h"

using testing_support::DrainEvents;
using testing_support::WaitUntil;

namespace {

struct Pair {
    Pair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~Pair()
    {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
    void Put(const char *text = "x") { ASSERT_GT(::write(fd[1], text, 1), 0); }
    // True if a byte was there to take.
    bool Take()
    {
        char c;
        return ::recv(fd[0], &c, 1, MSG_DONTWAIT) == 1;
    }
    int fd[2] = {-1, -1};
};

// Turns of the event loop, a bounded number: enough for any ready socket to be reported.
void Turn(int times = 20)
{
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST(AsyncSelect, ReportsReadinessOnlyWhileWantedAndAgainWhileItLasts)
{
    Pair pair;
    int calls = 0;
    ws::TAsyncSelect select(pair.fd[0], [&](ws::TAsyncSelect::Ready r) {
        EXPECT_EQ(r, ws::TAsyncSelect::Readable);
        ++calls;
    });
    pair.Put();
    Turn();
    EXPECT_EQ(calls, 0);
    select.setReadEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return calls >= 3; })); // level-triggered: unread data repeats
    select.setReadEnabled(false);
    calls = 0;
    Turn();
    EXPECT_EQ(calls, 0);
    select.setReadEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return calls >= 1; }));
    ASSERT_TRUE(pair.Take());
    calls = 0;
    Turn();
    EXPECT_EQ(calls, 0);

    // Writable at once, while wanted.
    int writable = 0;
    ws::TAsyncSelect writer(pair.fd[1], [&](ws::TAsyncSelect::Ready r) {
        EXPECT_EQ(r, ws::TAsyncSelect::Writable);
        ++writable;
        writer.setWriteEnabled(false);
    });
    writer.setWriteEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return writable == 1; }));
    Turn();
    EXPECT_EQ(writable, 1);
}

TEST(AsyncSelect, AHandlerRunningAnEventLoopIsNotEnteredAgainAndOthersNeverSeeStaleReadiness)
{
    Pair first, second;
    int firstCalls = 0, depth = 0, secondCalls = 0, secondEmpty = 0;
    std::unique_ptr<ws::TAsyncSelect> other;
    ws::TAsyncSelect select(first.fd[0], [&](ws::TAsyncSelect::Ready) {
        ++firstCalls;
        EXPECT_EQ(++depth, 1);
        // A modal box: the loop runs on while the data stays unread.
        EXPECT_TRUE(WaitUntil([&] { return secondCalls >= 1; }));
        Turn();
        first.Take();
        --depth;
    });
    other = std::make_unique<ws::TAsyncSelect>(second.fd[0], [&](ws::TAsyncSelect::Ready) {
        ++secondCalls;
        // Every report finds its byte: one handled inside the nested loop is not reported again
        // by the turn of the loop that was running when it began.
        if (!second.Take())
            ++secondEmpty;
    });
    select.setReadEnabled(true);
    other->setReadEnabled(true);
    first.Put();
    second.Put();
    ASSERT_TRUE(WaitUntil([&] { return firstCalls == 1 && depth == 0; }));
    Turn();
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(secondEmpty, 0);

    // After the handler, its socket is watched again.
    first.Put();
    // The nested wait above needs the second socket once more.
    second.Put();
    ASSERT_TRUE(WaitUntil([&] { return firstCalls == 2 && depth == 0; }));
}

TEST(AsyncSelect, AHandlerMayFreeAnotherSelectReadyInTheSameTurn)
{
    Pair a, b;
    std::unique_ptr<ws::TAsyncSelect> sa, sb;
    int calls = 0;
    const auto freeTheOther = [&](ws::TAsyncSelect::Ready) {
        ++calls;
        // The handler goes with its own select: nothing of it is used after that.
        std::unique_ptr<ws::TAsyncSelect> &a = sa, &b = sb;
        a.reset();
        b.reset();
    };
    sa = std::make_unique<ws::TAsyncSelect>(a.fd[0], freeTheOther);
    sb = std::make_unique<ws::TAsyncSelect>(b.fd[0], freeTheOther);
    sa->setReadEnabled(true);
    sb->setReadEnabled(true);
    a.Put();
    b.Put();
    ASSERT_TRUE(WaitUntil([&] { return calls >= 1; }));
    Turn();
    EXPECT_EQ(calls, 1);
}

TEST(AsyncSelect, AClosedDescriptorIsNotReportedAndItsNumberServesTheNextSocket)
{
    auto pair = std::make_unique<Pair>();
    int oldCalls = 0;
    auto old = std::make_unique<ws::TAsyncSelect>(pair->fd[0], [&](ws::TAsyncSelect::Ready) { ++oldCalls; });
    old->setReadEnabled(true);
    // A copy of the descriptor lives on (as in a child process), so closing does not end the
    // socket: the closed number must not go on reporting it.
    const int copy = ::dup(pair->fd[0]);
    ASSERT_GE(copy, 0);
    const int number = pair->fd[0];
    ASSERT_EQ(ws::closesocket(pair->fd[0]), 0);
    pair->fd[0] = -1;
    pair->Put();
    Turn();
    EXPECT_EQ(oldCalls, 0);

    // The lowest free number is the one just closed: the next socket gets it, while the old
    // select still exists and then goes.
    Pair next;
    ASSERT_EQ(next.fd[0], number);
    int nextCalls = 0;
    ws::TAsyncSelect fresh(next.fd[0], [&](ws::TAsyncSelect::Ready) {
        ++nextCalls;
        next.Take();
    });
    fresh.setReadEnabled(true);
    old->setReadEnabled(false);
    old.reset();
    next.Put();
    ASSERT_TRUE(WaitUntil([&] { return nextCalls == 1; }));
    EXPECT_EQ(oldCalls, 0);
    ::close(copy);
}

TEST(AsyncSelect, AnErrorRaisedByAHandlerIsToldWhereItIsDispatchedWithItsSocketStillQuiet)
{
    // The box runs an event loop of its own, as a modal box does.
    testing_support::MessageRecorder recorder(true);
    Pair pair;
    int calls = 0, callsWhileBoxOpen = 0;
    bool boxOpen = false;
    ws::TAsyncSelect select(pair.fd[0], [&](ws::TAsyncSelect::Ready) {
        ++calls;
        callsWhileBoxOpen += boxOpen;
        if (calls == 1)
            throw Exception(QStringLiteral("Asynchronous socket error 10054"));
        pair.Take();
    });
    const ui::MessageSink record = ui::SetMessageSink(nullptr);
    ui::SetMessageSink([&](ui::BoxKind kind, const QString &text) {
        boxOpen = true;
        record(kind, text);
        boxOpen = false;
    });
    select.setReadEnabled(true);
    pair.Put();
    ASSERT_TRUE(WaitUntil([&] { return calls == 2; }));
    Turn();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(callsWhileBoxOpen, 0);
    EXPECT_EQ(recorder.errors, QStringList{QStringLiteral("Asynchronous socket error 10054")});
    ui::SetMessageSink(record);
}
