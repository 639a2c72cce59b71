// The AVE numbers a run takes, in the order it takes them; no windows.h, so it is fuzzed natively.
#pragma once

#include <cstdint>
#include <vector>

namespace orlenta {

// A range is never spelled out: a window run may name every 32-bit number. A shard takes every
// n-th number of what it was cut from, so a range cut in shards stays a formula too.
class AveSelection {
public:
    AveSelection() = default;  // no AVE at all

    // first to last; none when first is above last.
    static AveSelection Range(std::int32_t first, std::int32_t last);
    // The numbers as given, in their order.
    static AveSelection List(std::vector<std::int32_t> numbers);

    // Shard k of n (1 <= k <= n, else no AVE): the k-th, (k+n)-th, ... number of this selection.
    AveSelection Shard(std::int64_t k, std::int64_t n) const;

    std::int64_t Count() const noexcept;
    // The number at 0 <= index < Count().
    std::int32_t At(std::int64_t index) const noexcept;

private:
    std::int64_t BaseCount() const noexcept;

    bool isRange_ = false;
    std::int32_t first_ = 0;
    std::int64_t rangeCount_ = 0;
    std::vector<std::int32_t> list_;
    std::int64_t offset_ = 0;  // position in the range or list of the shard's first number
    std::int64_t stride_ = 1;
};

}  // namespace orlenta
