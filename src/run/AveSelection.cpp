// The AVE numbers a run takes, as a range, a list and shards of either.
#include "run/AveSelection.h"

#include <cstddef>
#include <utility>

namespace orlenta {

AveSelection AveSelection::Range(std::int32_t first, std::int32_t last) {
    AveSelection selection;
    selection.isRange_ = true;
    selection.first_ = first;
    selection.rangeCount_ = first > last ? 0 : std::int64_t{last} - first + 1;
    return selection;
}

AveSelection AveSelection::List(std::vector<std::int32_t> numbers) {
    AveSelection selection;
    selection.list_ = std::move(numbers);
    return selection;
}

AveSelection AveSelection::Shard(std::int64_t k, std::int64_t n) const {
    AveSelection shard = *this;
    if (k < 1 || n < 1 || k > n) {
        shard.offset_ = BaseCount();
        return shard;
    }
    // Steps past the end are clamped to it, so no product below can overflow.
    const std::int64_t base = BaseCount();
    shard.offset_ = (k - 1) > (base - offset_) / stride_ ? base : offset_ + (k - 1) * stride_;
    shard.stride_ = n > base / stride_ ? base + 1 : stride_ * n;
    return shard;
}

std::int64_t AveSelection::BaseCount() const noexcept {
    return isRange_ ? rangeCount_ : static_cast<std::int64_t>(list_.size());
}

std::int64_t AveSelection::Count() const noexcept {
    const std::int64_t base = BaseCount();
    return base > offset_ ? (base - offset_ - 1) / stride_ + 1 : 0;
}

std::int32_t AveSelection::At(std::int64_t index) const noexcept {
    const std::int64_t position = offset_ + index * stride_;
    return isRange_ ? static_cast<std::int32_t>(first_ + position) : list_[static_cast<size_t>(position)];
}

}  // namespace orlenta
