// The threaded line reader: framing, and a Stop that ends a reader blocked
// in its read without waiting for the writer.
#include "core_client/NonblockStdin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zdl {
namespace {

    using Clock = std::chrono::steady_clock;

    bool TakeWithin(NonblockStdin& r, int ms, std::string& line)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        do {
            if (r.TakeLine(line))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (Clock::now() < end);
        return false;
    }

    struct Pipe {
        Pipe() { EXPECT_TRUE(CreateInheritablePipe(&read, &write)); }
        ~Pipe()
        {
            CloseOsHandle(read);
            CloseOsHandle(write);
        }
        void Write(const std::string& s) { ASSERT_TRUE(WriteHandle(write, s.data(), s.size())); }
        OsHandle read = kNoOsHandle;
        OsHandle write = kNoOsHandle;
    };

    TEST(NonblockStdin, HandsOutCompleteLinesOnly)
    {
        Pipe p;
        NonblockStdin r(p.read);
        ASSERT_TRUE(r.Start());
        std::string line;
        EXPECT_FALSE(r.TakeLine(line));
        p.Write("a\r\n\nhalf");
        ASSERT_TRUE(TakeWithin(r, 2000, line));
        EXPECT_EQ(line, "a\r");
        ASSERT_TRUE(TakeWithin(r, 2000, line));
        EXPECT_EQ(line, "");
        EXPECT_FALSE(TakeWithin(r, 100, line));
        p.Write(std::string("\0x\n", 3));
        ASSERT_TRUE(TakeWithin(r, 2000, line));
        EXPECT_EQ(line, std::string("half\0x", 6));
        EXPECT_TRUE(r.Stop());
    }

    TEST(NonblockStdin, StopEndsABlockedReaderPromptly)
    {
        Pipe p;
        NonblockStdin r(p.read);
        ASSERT_TRUE(r.Start());
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // now blocked in its read
        const auto before = Clock::now();
        EXPECT_TRUE(r.Stop());
        EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
        EXPECT_TRUE(r.Ended());
        EXPECT_TRUE(r.Stop()) << "a second Stop is harmless";
    }

    TEST(NonblockStdin, EndsWhenTheWriterClosesAndDropsTheUnfinishedLine)
    {
        Pipe p;
        NonblockStdin r(p.read);
        ASSERT_TRUE(r.Start());
        p.Write("done\nunfinished");
        CloseOsHandle(p.write);
        p.write = kNoOsHandle;
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (!r.Ended() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_TRUE(r.Ended());
        std::string line;
        ASSERT_TRUE(r.TakeLine(line));
        EXPECT_EQ(line, "done");
        EXPECT_FALSE(r.TakeLine(line));
    }

    TEST(NonblockStdin, StopRightAfterStartDoesNotHang)
    {
        for (int i = 0; i < 20; ++i) {
            Pipe p;
            NonblockStdin r(p.read);
            ASSERT_TRUE(r.Start());
            EXPECT_TRUE(r.Stop());
        }
    }

} // namespace
} // namespace zdl
