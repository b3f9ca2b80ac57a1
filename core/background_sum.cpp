// The byte-sum worker: one thread for the whole program, started on the first
// batch of pieces, with a bounded queue of batches from any number of sums.
//
// The copy hands over a batch per subfile (or sooner, when one grows past
// batch_byte_limit or batch_piece_limit), so the worker sums a subfile while
// the kernel copies it. Between batches the worker watches the queue for
// spin_time before it sleeps: a wake-up for each subfile would cost more
// than the sum.
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

struct SumPiece {
    std::shared_ptr<const SumSource> source;
    uint64_t offset = 0;
    uint32_t n = 0;
};

struct SumAccount {
    // Owned by the task's thread: pieces not yet handed over, and whether
    // any batch went to the worker (whose results are then read only under
    // its lock).
    std::vector<SumPiece> batch;
    uint64_t batch_bytes = 0;
    bool handed_over = false;
    // Guarded by the worker's lock while batches are pending.
    uint32_t sum = 0;
    size_t pending = 0;
    bool failed = false;
    std::string failed_path;
};

namespace {

constexpr uint64_t batch_byte_limit = 8u << 20;
constexpr size_t batch_piece_limit = 256;
// Batches queued at most: the worker is never more than this far behind.
constexpr size_t queue_limit = 4;
constexpr std::chrono::microseconds spin_time{200};

struct Batch {
    std::vector<SumPiece> pieces;
    SumAccount* account = nullptr;
};

// Reads and adds the pieces of a batch. The sources go as soon as they are
// read, so an input's descriptor never outlives the copy that queued it.
bool sum_batch(std::vector<SumPiece>& pieces, std::vector<uint8_t>& buffer, uint32_t& sum, std::string& failed_path)
{
    bool read = true;
    for (SumPiece& piece : pieces) {
        if (read) {
            if (buffer.size() < piece.n)
                buffer.resize(piece.n);
            if (piece.source->reader.read_at(piece.offset, buffer.data(), piece.n)) {
                sum += sum_bytes(buffer.data(), piece.n);
            } else {
                read = false;
                failed_path = piece.source->path;
            }
        }
        piece.source.reset();
    }
    pieces.clear();
    return read;
}

void settle(SumAccount& account, bool read, uint32_t sum, const std::string& path)
{
    account.sum += sum;
    if (!read && !account.failed) {
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

    void queue(Batch batch)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [&] { return queue_.size() < queue_limit; });
        ++batch.account->pending;
        queue_.push_back(std::move(batch));
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

    // The task hands over a batch every few dozen microseconds while it
    // copies; going to sleep and being woken for each would cost more than
    // the batch. So the worker first watches the queue for a short while.
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
            Batch batch = std::move(queue_.front());
            queue_.pop_front();
            queued_.store(queue_.size(), std::memory_order_relaxed);
            room_.notify_one();
            lock.unlock();
            uint32_t sum = 0;
            std::string failed_path;
            bool read = sum_batch(batch.pieces, buffer, sum, failed_path);
            lock.lock();
            settle(*batch.account, read, sum, failed_path);
            --batch.account->pending;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_, room_, done_;
    std::deque<Batch> queue_;
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
    // Batches are only ever pending when the worker took them; pending and
    // the sums it settles are read under its lock.
    if (account_ && account_->handed_over)
        SumWorker::get()->wait_for(*account_);
}

void BackgroundSum::hand_over()
{
    if (!account_ || account_->batch.empty())
        return;
    SumAccount& account = *account_;
    account.batch_bytes = 0;
    if (SumWorker* worker = SumWorker::get()) {
        account.handed_over = true;
        worker->queue(Batch{std::move(account.batch), &account});
        account.batch.clear();
        return;
    }
    std::vector<uint8_t> buffer;
    uint32_t sum = 0;
    std::string failed_path;
    bool read = sum_batch(account.batch, buffer, sum, failed_path);
    settle(account, read, sum, failed_path);
}

void BackgroundSum::add_piece(const std::shared_ptr<const SumSource>& source, uint64_t offset, uint32_t n)
{
    if (!account_)
        account_ = std::make_unique<SumAccount>();
    account_->batch.push_back(SumPiece{source, offset, n});
    account_->batch_bytes += n;
    if (account_->batch_bytes >= batch_byte_limit || account_->batch.size() >= batch_piece_limit)
        hand_over();
}

bool BackgroundSum::take_total(uint32_t& sum, std::string& failed_path)
{
    hand_over();
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
