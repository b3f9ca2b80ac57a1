// Byte sums worked out on a second thread.
//
// An IMG output's checksum byte needs the sum of every byte copied into it.
// The kernel moves subfile bytes from file to file without them passing
// through the program; adding the same bytes up on the task's thread would
// cost about as much again. So the pieces are handed to one worker thread,
// which reads them through a descriptor of its own (platform::FileReader)
// and adds them up while the copies go on.
//
// The worker only reads and adds: it never logs, never counts allocations
// and touches no other state, so the rest of the program stays on one
// thread. A failed read is kept and reported on the task's thread by
// whoever asks for the total. A few pieces wait at most, and a BackgroundSum
// waits for its own pieces before it goes away, so no piece outlives the sum
// it belongs to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

// An input file as the worker reads it; shared by the pieces queued from it.
struct SumSource {
    explicit SumSource(FILE* stream, std::string file_path) : reader(stream), path(std::move(file_path)) {}
    platform::FileReader reader;
    std::string path;  // for the read error message
};

struct SumAccount;

class BackgroundSum {
public:
    BackgroundSum();
    ~BackgroundSum();
    BackgroundSum(BackgroundSum&&) noexcept;
    BackgroundSum& operator=(BackgroundSum&&) noexcept;

    // A sum already worked out.
    void add(uint32_t sum) { known_ += sum; }
    // Adds the n bytes at offset of the source's file, n at most
    // copy_piece_limit: the worker starts on them at once. Without a worker
    // thread they are read here.
    void add_piece(const std::shared_ptr<const SumSource>& source, uint64_t offset, uint32_t n);
    // Waits for every piece; false (failed_path set) when one could not be
    // read. Starts a new sum afterwards.
    bool take_total(uint32_t& sum, std::string& failed_path);

private:
    void wait();

    uint32_t known_ = 0;                   // sums added on the task's thread
    std::unique_ptr<SumAccount> account_;  // made on the first piece
};
