#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/MessageFifo.h"

namespace velmora::testing {
namespace {

using platform::Message;
using platform::MessageFifo;
using platform::MessageKind;

Message Make(MessageKind kind, platform::WindowHandle window, int x = 0) {
    Message m;
    m.kind = kind;
    m.window = window;
    m.point = {x, 0};
    return m;
}

std::vector<Message> Drain(MessageFifo& queue) {
    std::vector<Message> all;
    Message m;
    while (queue.Take(m)) all.push_back(m);
    return all;
}

TEST(MessageFifo, CoalescingKeepsOnlyTheLatestStateAndNeverReorders) {
    const struct {
        const char* what;
        std::vector<Message> before;
        std::size_t expectedCount;
        int expectedLastX;  // point.x of the last move of window 1 left in the queue
    } cases[] = {
        {"empty queue", {}, 1, 9},
        {"newest of the window is a move", {Make(MessageKind::MouseMove, 1, 1)}, 1, 9},
        {"other windows in between", {Make(MessageKind::MouseMove, 1, 1), Make(MessageKind::Paint, 2)}, 2, 9},
        {"a press in between keeps the older move",
         {Make(MessageKind::MouseMove, 1, 1), Make(MessageKind::MouseDown, 1, 5)},
         3,
         9},
        {"move of another window", {Make(MessageKind::MouseMove, 2, 1)}, 2, 9},
    };
    for (const auto& c : cases) {
        MessageFifo queue;
        for (const auto& m : c.before) queue.Post(m);
        queue.PostCoalesced(Make(MessageKind::MouseMove, 1, 9));
        const auto all = Drain(queue);
        EXPECT_EQ(all.size(), c.expectedCount) << c.what;
        int lastX = -1;
        for (const auto& m : all)
            if (m.kind == MessageKind::MouseMove && m.window == 1) lastX = m.point.x;
        EXPECT_EQ(lastX, c.expectedLastX) << c.what;
    }
    // A press between two moves: both moves stay, in order around it.
    MessageFifo queue;
    queue.Post(Make(MessageKind::MouseMove, 1, 1));
    queue.Post(Make(MessageKind::MouseDown, 1, 2));
    queue.PostCoalesced(Make(MessageKind::MouseMove, 1, 3));
    const auto all = Drain(queue);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].point.x, 1);
    EXPECT_EQ(all[1].kind, MessageKind::MouseDown);
    EXPECT_EQ(all[2].point.x, 3);
}

TEST(MessageFifo, CallbackIsHandedOutOnceAndOnlyForItsMessage) {
    MessageFifo queue;
    int runs = 0;
    const auto id = queue.PostCallback([&] { ++runs; });
    Message m;
    ASSERT_TRUE(queue.Take(m));
    EXPECT_EQ(m.kind, MessageKind::Invoke);
    EXPECT_EQ(m.invokeId, id);
    EXPECT_FALSE(queue.TakeCallback(id + 1));
    auto callback = queue.TakeCallback(id);
    ASSERT_TRUE(callback);
    callback();
    EXPECT_FALSE(queue.TakeCallback(id));
    EXPECT_EQ(runs, 1);
}

TEST(MessageFifo, PostsFromManyThreadsAllArrive) {
    MessageFifo queue;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) queue.PostCallback([] {});
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(queue.Size(), 2000u);
    std::vector<bool> seen(2001, false);
    Message m;
    while (queue.Take(m)) {
        ASSERT_LE(m.invokeId, 2000u);
        EXPECT_FALSE(seen[m.invokeId]);
        seen[m.invokeId] = true;
        EXPECT_TRUE(queue.TakeCallback(m.invokeId));
    }
    EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace velmora::testing
