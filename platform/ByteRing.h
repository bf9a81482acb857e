#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

// A bounded ring of bytes from one writer thread to one reader thread: the body of a
// transfer on its way from the network to the caller.
//
// Who owns which bytes when. Bytes are counted from where the ring last started over,
// and byte n lies at n modulo the capacity. Those from the head to the tail are the
// reader's; the room after the tail is the writer's. Only the writer moves the tail and
// only the reader moves the head, each under the lock, and each copies without it:
// - The writer copies a piece into its room, then moves the tail past it: the piece is
//   the reader's from then on. A piece goes in whole or not at all.
// - The reader claims a part at the head (at most the claim size, never across the end
//   of the memory) and hands it out without the lock; it gives the part back, moving
//   the head past it, when it wants the next. Bytes claimed are still in use until then.
// - When the ring is empty as a piece begins, the writer starts over at the beginning
//   (empty, nothing is claimed, so nobody reads there): a reader that keeps up then works
//   in the same few warm kilobytes instead of through the whole ring. An empty ring also
//   takes a piece larger than itself, growing to hold it, so that no piece waits for ever.
//
// Waiting. A writer without room (WaitForRoom) sleeps until its piece fits and half the
// ring is free, so that a writer held back by a slow reader wakes once per half ring
// rather than once per claim. The reader either sleeps (WaitForBytes), or, when it must
// keep its thread's events running, asks to be told (WatchForBytes): the wake hook then
// runs once enough bytes wait or the writer closes (on the writer's thread), and on Abort
// (on the aborting one), always outside the lock, which a woken reader wants at once.
// Abort ends every wait at once, from any thread; every later write, read or wait fails.
class TByteRing {
public:
    // How much the reader claims at a time by default: enough to hand out many blocks
    // without the lock, little enough to give room back to the writer soon.
    static constexpr std::size_t DefaultClaimSize = 32 * 1024;

    // `wakeReader` may be empty; it is set before either side starts.
    explicit TByteRing(std::size_t capacity, std::function<void()> wakeReader = {},
                       std::size_t claimSize = DefaultClaimSize);
    TByteRing(const TByteRing&) = delete;
    TByteRing& operator=(const TByteRing&) = delete;

    // ---- The writer's side: one thread.
    // Copies the whole piece in, or nothing when it does not fit; false also once aborted.
    bool Write(const char* data, std::size_t size);
    // Sleeps until a piece of `size` bytes fits (an empty ring takes any piece); false
    // once aborted.
    bool WaitForRoom(std::size_t size);
    // No more bytes come: the reader takes what waits, then finds the end.
    void Close();

    // ---- The reader's side: one thread.
    // Copies up to `size` bytes that wait into `buffer` and returns their count; never
    // waits. Nothing once aborted.
    std::size_t Read(char* buffer, std::size_t size);
    // Whether every byte was read and the writer has closed.
    bool Drained() const;
    // The two ways to wait, once Read came up short. Sleeps until `count` bytes wait (at
    // most the capacity's worth), the writer closes, the ring is aborted, or `pace` has
    // passed (zero: no limit); false once aborted.
    bool WaitForBytes(std::size_t count, std::chrono::milliseconds pace = std::chrono::milliseconds::zero());
    // True when there is nothing yet (no byte, no end, no abort): the wake hook then runs
    // once `count` bytes wait, or at the end or abort. False when there is something to
    // look at now.
    bool WatchForBytes(std::size_t count);

    // ---- Either side, or any thread.
    // Ends every wait at once; later calls fail. True the first time.
    bool Abort();
    bool Aborted() const { return FAborted.load(std::memory_order_acquire); }

private:
    std::size_t Capacity() const { return FMemory.size(); }
    std::size_t Free() const { return Capacity() - (FTail - FHead); }
    // The reader's; under FLock.
    void GiveBackClaim();
    void TakeClaim();
    // With `lock` held: the reader is to be woken; releases the lock, then wakes it.
    void WakeReader(std::unique_lock<std::mutex>& lock);

    const std::function<void()> FWakeReaderHook;
    const std::size_t FClaimLimit;

    mutable std::mutex FLock;
    std::condition_variable FRoomCame;
    std::condition_variable FBytesCame;
    std::vector<char> FMemory;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    // The free room that a sleeping writer waits for; 0 when it does not sleep.
    std::size_t FRoomWanted = 0;
    // The waiting bytes at which the reader is woken; 0 when it is not waiting.
    std::size_t FWakeAt = 0;
    bool FClosed = false;
    // Also read without the lock, by the reader between blocks.
    std::atomic<bool> FAborted = false;

    // The reader's claim: FClaimSize bytes at the head, of which FClaimLeft, at FClaim,
    // are still to be handed out. FClaim and FClaimLeft are the reader's alone; FClaimSize
    // changes under the lock, where the writer may read it too.
    const char* FClaim = nullptr;
    std::size_t FClaimLeft = 0;
    std::size_t FClaimSize = 0;
};
