// The byte-sum worker: one thread for the whole program, started on the first
// piece, with a bounded queue of pieces from any number of sums.
//
// The copy queues each piece just before the kernel copies it, so the worker
// sums a piece while the kernel copies it. Between pieces the worker watches
// the queue for spin_time before it sleeps: a wake-up for each subfile would
// cost more than the sum.
#include "core/background_sum.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/files.h"

struct SumAccount {
    // Owned by the task's thread: whether any piece went to the worker
    // (whose results are then read only under its lock).
    bool queued = false;
    // Guarded by the worker's lock while pieces are pending.
    uint32_t sum = 0;
    size_t pending = 0;
    bool failed = false;
    std::string failed_path;
};

namespace {

// Pieces queued at most: the worker is never more than this far behind.
constexpr size_t queue_limit = 16;
constexpr std::chrono::microseconds spin_time{200};

struct Piece {
    std::shared_ptr<const SumSource> source;
    uint64_t offset = 0;
    uint32_t n = 0;
    SumAccount* account = nullptr;
};

// Reads and adds one piece; false when it could not be read.
bool sum_piece(const Piece& piece, std::vector<uint8_t>& buffer, uint32_t& sum)
{
    if (buffer.size() < piece.n)
        buffer.resize(piece.n);
    if (!piece.source->reader.read_at(piece.offset, buffer.data(), piece.n))
        return false;
    sum = sum_bytes(buffer.data(), piece.n);
    return true;
}

void settle(SumAccount& account, bool read, uint32_t sum, const std::string& path)
{
    if (read) {
        account.sum += sum;
    } else if (!account.failed) {
        account.failed = true;
        account.failed_path = path;
    }
}

class SumWorker {
public:
    // Null when no thread can be started: the caller then sums on its own.
    static SumWorker* get()
    {
        static SumWorker worker;
        return worker.thread_.joinable() ? &worker : nullptr;
    }

    void queue(Piece piece)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [&] { return queue_.size() < queue_limit; });
        ++piece.account->pending;
        queue_.push_back(std::move(piece));
        queued_.store(queue_.size(), std::memory_order_relaxed);
        work_.notify_one();
    }

    void wait_for(SumAccount& account)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return account.pending == 0; });
    }

    ~SumWorker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

private:
    SumWorker()
    {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
        }
    }

    // The task queues a piece every few dozen microseconds while it copies;
    // going to sleep and being woken for each would cost more than the
    // piece. So the worker first watches the queue for a short while.
    void spin_for_work(std::unique_lock<std::mutex>& lock)
    {
        lock.unlock();
        auto until = std::chrono::steady_clock::now() + spin_time;
        for (uint32_t round = 1; queued_.load(std::memory_order_relaxed) == 0; ++round) {
            if (round % 64 == 0 && std::chrono::steady_clock::now() >= until)
                break;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#else
            std::this_thread::yield();
#endif
        }
        lock.lock();
    }

    void run()
    {
        std::vector<uint8_t> buffer;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (queue_.empty() && !stopping_)
                spin_for_work(lock);
            work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            Piece piece = std::move(queue_.front());
            queue_.pop_front();
            queued_.store(queue_.size(), std::memory_order_relaxed);
            room_.notify_one();
            lock.unlock();
            uint32_t sum = 0;
            bool read = sum_piece(piece, buffer, sum);
            // The source goes before the account learns the piece is done,
            // so an input's descriptor never outlives the copy that queued it.
            std::string path = read ? std::string() : piece.source->path;
            piece.source.reset();
            lock.lock();
            settle(*piece.account, read, sum, path);
            --piece.account->pending;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_, room_, done_;
    std::deque<Piece> queue_;
    std::atomic<size_t> queued_{0};  // queue_.size(), for the watch without the lock
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace

BackgroundSum::BackgroundSum() = default;

BackgroundSum::~BackgroundSum() { wait(); }

BackgroundSum::BackgroundSum(BackgroundSum&& other) noexcept
    : known_(other.known_), account_(std::move(other.account_))
{
    other.known_ = 0;
}

BackgroundSum& BackgroundSum::operator=(BackgroundSum&& other) noexcept
{
    if (this != &other) {
        wait();
        known_ = other.known_;
        account_ = std::move(other.account_);
        other.known_ = 0;
    }
    return *this;
}

void BackgroundSum::wait()
{
    // Pieces are only ever pending when the worker took them; pending and
    // the sums it settles are read under its lock.
    if (account_ && account_->queued)
        SumWorker::get()->wait_for(*account_);
}

void BackgroundSum::add_piece(const std::shared_ptr<const SumSource>& source, uint64_t offset, uint32_t n)
{
    if (!account_)
        account_ = std::make_unique<SumAccount>();
    Piece piece{source, offset, n, account_.get()};
    if (SumWorker* worker = SumWorker::get()) {
        account_->queued = true;
        worker->queue(std::move(piece));
        return;
    }
    std::vector<uint8_t> buffer;
    uint32_t sum = 0;
    bool read = sum_piece(piece, buffer, sum);
    settle(*account_, read, sum, source->path);
}

bool BackgroundSum::take_total(uint32_t& sum, std::string& failed_path)
{
    wait();
    sum = known_;
    known_ = 0;
    bool read = true;
    if (account_) {
        sum += account_->sum;
        read = !account_->failed;
        failed_path = account_->failed_path;
        *account_ = SumAccount{};
    }
    return read;
}
