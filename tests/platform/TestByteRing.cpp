// The ring on its own: every byte comes out once and in order, whatever the pieces and
// blocks and wherever the ring wraps or starts over; an abort ends either side's wait.

#include "platform/ByteRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Byte n of everything written; 251 is prime, so the bytes never line up with the ring.
char PatternByte(std::size_t n) {
    return static_cast<char>(n % 251);
}

struct TStepsRow {
    const char* Name;
    std::size_t Capacity;
    std::size_t ClaimSize;
    // One thread's calls: +N writes N bytes, !N is a piece of N refused, -N reads N
    // bytes, -N:M asks for N and gets M.
    const char* Steps;
};

const TStepsRow kSteps[] = {
    // The writer's third piece and the reader's last claims cross the end of the memory.
    {"WrapsAroundTheEnd", 1000, 1000, "+600 -600 +300 -300 +500 -600:500"},
    {"StartsOverWhenEmpty", 1000, 256, "+700 -800:700 +1000 !1 -1100:1000"},
    // Half of a claim is read: all of it is still in use, so the ring is full.
    {"KeepsWhatTheReaderClaimed", 1000, 1000, "+100 -50 +900 !1 -2000:950"},
    {"TakesAPieceLargerThanItselfOnlyWhenEmpty", 100, 64, "+10 !250 -20:10 +250 -300:250"},
};

class ByteRingSteps : public testing::TestWithParam<TStepsRow> {};

TEST_P(ByteRingSteps, HandsOutEveryByteInOrder) {
    const TStepsRow& row = GetParam();
    TByteRing ring(row.Capacity, {}, row.ClaimSize);
    std::size_t written = 0, read = 0, count = 0;
    std::istringstream steps(row.Steps);
    for (char kind = 0; steps >> kind >> count;) {
        std::size_t got = count;
        if (steps.peek() == ':')
            steps.ignore() >> got;
        std::vector<char> bytes(count);
        if (kind == '-') {
            ASSERT_EQ(ring.Read(bytes.data(), count), got) << "reading " << count;
            for (std::size_t i = 0; i < got; ++i)
                ASSERT_EQ(bytes[i], PatternByte(read + i)) << "byte " << read + i;
            read += got;
            continue;
        }
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = PatternByte(written + i);
        ASSERT_EQ(ring.Write(bytes.data(), count), kind == '+') << "writing " << count;
        written += kind == '+' ? count : 0;
    }
    EXPECT_EQ(read, written);
}

INSTANTIATE_TEST_SUITE_P(Table, ByteRingSteps, testing::ValuesIn(kSteps),
                         [](const testing::TestParamInfo<TStepsRow>& row) { return row.param.Name; });

// A writer and a reader on threads of their own.
struct TFlowRow {
    const char* Name;
    std::size_t Capacity;
    std::size_t Total;                // what the writer writes
    std::vector<std::size_t> Pieces;  // its pieces, in turn
    std::size_t Block;                // what the reader asks of each Read; 0: it reads nothing
    std::size_t Batch;                // the bytes it waits for
    bool Abort = false;               // aborted a moment after the start; the writer never closes
};

const TFlowRow kFlows[] = {
    {"ManyMegabytesInOddPieces", 1 << 20, 48 << 20, {1, 4093, 65536, 77, 16384}, 1023, 1 << 19},
    {"AReaderThatKeepsUp", 64 << 10, 16 << 20, {1500}, 65536, 1},
    // Each large piece waits until the ring is empty, then goes in whole.
    {"PiecesLargerThanTheRing", 4096, 4 << 20, {10, 3 * 4096 + 5}, 1000, 1},
    {"AbortWhileTheWriterWaits", 4096, 1 << 30, {1000}, 0, 1, true},
    {"AbortWhileTheReaderWaits", 4096, 10, {10}, 1023, 1, true},
};

class ByteRingFlow : public testing::TestWithParam<TFlowRow> {};

TEST_P(ByteRingFlow, MovesEveryByteOrEndsAtTheAbort) {
    const TFlowRow& row = GetParam();
    TByteRing ring(row.Capacity);
    std::atomic<int> ended = 0;
    std::thread writer([&] {
        std::vector<char> piece;
        for (std::size_t i = 0, written = 0; written < row.Total && !ring.Aborted(); ++i) {
            piece.resize(std::min(row.Pieces[i % row.Pieces.size()], row.Total - written));
            for (std::size_t j = 0; j < piece.size(); ++j)
                piece[j] = PatternByte(written + j);
            while (!ring.Write(piece.data(), piece.size()) && ring.WaitForRoom(piece.size())) {
            }
            written += piece.size();
        }
        if (!row.Abort)
            ring.Close();
        ++ended;
    });
    std::size_t read = 0, wrong = 0;
    bool drained = false;
    std::thread reader([&] {
        std::vector<char> block(row.Block);
        while (row.Block > 0) {
            const std::size_t got = ring.Read(block.data(), block.size());
            for (std::size_t j = 0; j < got; ++j)
                wrong += block[j] != PatternByte(read + j);
            read += got;
            if (got < block.size() && ((drained = ring.Drained()) || !ring.WaitForBytes(row.Batch)))
                break;
        }
        ++ended;
    });
    if (row.Abort) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ring.Abort();
    }
    // At most two minutes.
    for (int wait = 0; ended < 2 && wait < 24000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ended.load(), 2) << "a side still waits";
    ring.Abort();
    writer.join();
    reader.join();
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(drained, !row.Abort);
    EXPECT_EQ(read, row.Block > 0 ? row.Total : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ByteRingFlow, testing::ValuesIn(kFlows),
                         [](const testing::TestParamInfo<TFlowRow>& row) { return row.param.Name; });

}  // namespace
