#include "platform/ByteRing.h"

#include <algorithm>
#include <cstring>
#include <utility>

TByteRing::TByteRing(std::size_t capacity, std::function<void()> wakeReader, std::size_t claimSize)
    : FWakeReaderHook(std::move(wakeReader)),
      FClaimLimit(std::max<std::size_t>(claimSize, 1)),
      FMemory(std::max<std::size_t>(capacity, 1)) {}

bool TByteRing::Write(const char* data, std::size_t size) {
    std::unique_lock<std::mutex> lock(FLock);
    if (Aborted())
        return false;
    if (FHead == FTail) {
        FHead = FTail = 0;
        if (Capacity() < size)
            FMemory.resize(size);
    }
    if (Free() < size)
        return false;
    if (size == 0)
        return true;
    const std::size_t at = FTail % Capacity();
    const std::size_t first = std::min(size, Capacity() - at);
    char* memory = FMemory.data();
    // The room after the tail stays the writer's until the tail moves past it, and only
    // the writer resizes the memory: the copy needs no lock, which the reader may want
    // meanwhile.
    lock.unlock();
    std::memcpy(memory + at, data, first);
    std::memcpy(memory, data + first, size - first);
    lock.lock();
    FTail += size;
    if (FWakeAt == 0 || FTail - FHead < FWakeAt)
        return true;
    FWakeAt = 0;
    WakeReader(lock);
    return true;
}

bool TByteRing::WaitForRoom(std::size_t size) {
    std::unique_lock<std::mutex> lock(FLock);
    const auto fits = [this](std::size_t room) { return FHead == FTail || Free() >= room; };
    if (!Aborted() && !fits(size)) {
        // The reader makes room a claim at a time; a writer woken for each would cost two
        // thread switches per claim. Never more than the ring can free.
        const std::size_t wanted = std::min(std::max(size, Capacity() / 2), Capacity());
        FRoomWanted = wanted;
        FRoomCame.wait(lock, [&] { return Aborted() || fits(wanted); });
        FRoomWanted = 0;
    }
    return !Aborted();
}

void TByteRing::Close() {
    std::unique_lock<std::mutex> lock(FLock);
    FClosed = true;
    FWakeAt = 0;
    WakeReader(lock);
}

std::size_t TByteRing::Read(char* buffer, std::size_t size) {
    if (Aborted())
        return 0;
    std::size_t read = 0;
    bool roomMade = false;
    std::unique_lock<std::mutex> lock(FLock, std::defer_lock);
    for (;;) {
        // Most blocks come from the part claimed before, without the lock.
        const std::size_t count = std::min(FClaimLeft, size - read);
        if (count > 0) {
            std::memcpy(buffer + read, FClaim, count);
            FClaim += count;
            FClaimLeft -= count;
            read += count;
        }
        if (read == size)
            break;
        if (!lock.owns_lock())
            lock.lock();
        GiveBackClaim();
        if (FRoomWanted != 0 && Free() >= FRoomWanted) {
            FRoomWanted = 0;
            roomMade = true;
        }
        if (Aborted() || FHead == FTail)
            break;
        TakeClaim();
        lock.unlock();
    }
    if (lock.owns_lock())
        lock.unlock();
    // Told without the lock: the writer, woken, wants it at once.
    if (roomMade)
        FRoomCame.notify_one();
    return read;
}

bool TByteRing::Drained() const {
    const std::lock_guard<std::mutex> lock(FLock);
    return FClosed && FTail - FHead == FClaimSize - FClaimLeft;
}

bool TByteRing::WaitForBytes(std::size_t count, std::chrono::milliseconds pace) {
    std::unique_lock<std::mutex> lock(FLock);
    const std::size_t wanted = std::clamp<std::size_t>(count, 1, Capacity());
    const auto news = [&] { return Aborted() || FClosed || FTail - FHead >= wanted; };
    FWakeAt = wanted;
    if (pace == std::chrono::milliseconds::zero())
        FBytesCame.wait(lock, news);
    else
        FBytesCame.wait_for(lock, pace, news);
    FWakeAt = 0;
    return !Aborted();
}

bool TByteRing::WatchForBytes(std::size_t count) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (Aborted() || FClosed || FTail != FHead) {
        FWakeAt = 0;
        return false;
    }
    FWakeAt = std::clamp<std::size_t>(count, 1, Capacity());
    return true;
}

bool TByteRing::Abort() {
    std::unique_lock<std::mutex> lock(FLock);
    if (Aborted())
        return false;
    FAborted.store(true, std::memory_order_release);
    FWakeAt = 0;
    lock.unlock();
    FRoomCame.notify_all();
    FBytesCame.notify_all();
    if (FWakeReaderHook)
        FWakeReaderHook();
    return true;
}

void TByteRing::GiveBackClaim() {
    FHead += FClaimSize;
    FClaimSize = 0;
    FClaimLeft = 0;
}

void TByteRing::TakeClaim() {
    const std::size_t at = FHead % Capacity();
    FClaimSize = std::min({FTail - FHead, Capacity() - at, FClaimLimit});
    FClaimLeft = FClaimSize;
    FClaim = FMemory.data() + at;
}

void TByteRing::WakeReader(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    FBytesCame.notify_all();
    if (FWakeReaderHook)
        FWakeReaderHook();
}
