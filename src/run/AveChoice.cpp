// Reading AVE lists, shards and testcase names; no windows.h.
#include "run/AveChoice.h"

#include <cstddef>
#include <unordered_set>

#include "run/NumberText.h"

namespace orlenta {

namespace {

constexpr std::int64_t kLargestAve = 2147483647;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Digits only, at most the largest 32-bit number.
std::optional<std::int64_t> WholeNumber(std::string_view text) { return ReadWholeNumber(text, 0, kLargestAve); }

}  // namespace

AveListReading ReadAveList(std::string_view text) {
    struct Item {
        std::int64_t first;
        std::int64_t last;
    };
    std::vector<Item> items;
    std::int64_t listed = 0;
    for (size_t from = 0;;) {
        const size_t comma = text.find(',', from);
        const std::string_view item =
            Trimmed(text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        const std::string quoted = "\"" + std::string(item) + "\"";
        if (item.empty()) {
            return {{}, "an empty item in the AVE list"};
        }
        const size_t dash = item.find('-');
        const auto first = WholeNumber(Trimmed(item.substr(0, dash)));
        const auto last = dash == std::string_view::npos ? first : WholeNumber(Trimmed(item.substr(dash + 1)));
        if (!first || !last) {
            return {{}, quoted + " is no AVE number (0 to 2147483647) or range of them (40-45)"};
        }
        if (*first > *last) {
            return {{}, "the range " + quoted + " runs downwards"};
        }
        listed += *last - *first + 1;
        if (listed > kMostListedAves) {
            return {{}, "the AVE list names more than " + std::to_string(kMostListedAves) + " AVEs"};
        }
        items.push_back({*first, *last});
        if (comma == std::string_view::npos) {
            break;
        }
        from = comma + 1;
    }
    AveListReading reading;
    std::unordered_set<std::int32_t> seen;
    seen.reserve(static_cast<size_t>(listed));
    for (const Item& item : items) {
        for (std::int64_t n = item.first; n <= item.last; ++n) {
            if (seen.insert(static_cast<std::int32_t>(n)).second) {
                reading.Numbers.push_back(static_cast<std::int32_t>(n));
            }
        }
    }
    return reading;
}

std::optional<std::string> AveListText(const AveSelection& selection, std::int64_t from) {
    const std::int64_t count = selection.Count();
    if (from < 0 || count - from > kMostListedAves) {
        return std::nullopt;
    }
    std::string text;
    for (std::int64_t i = from; i < count;) {
        const std::int32_t first = selection.At(i);
        if (first < 0) {
            return std::nullopt;
        }
        std::int64_t last = i;
        while (last + 1 < count && std::int64_t{selection.At(last + 1)} == std::int64_t{selection.At(last)} + 1) {
            ++last;
        }
        text += (text.empty() ? "" : ",") + std::to_string(first);
        if (last > i) {
            text += "-" + std::to_string(selection.At(last));
        }
        i = last + 1;
    }
    return text;
}

std::optional<ShardPart> ReadShard(std::string_view text) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto k = WholeNumber(text.substr(0, slash));
    const auto n = WholeNumber(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n) {
        return std::nullopt;
    }
    return ShardPart{*k, *n};
}

std::string ShardText(const ShardPart& shard) { return std::to_string(shard.K) + "/" + std::to_string(shard.N); }

std::string AveName(std::int32_t number) {
    const std::int64_t wide = number;
    std::string digits = std::to_string(wide < 0 ? -wide : wide);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    return std::string("Ave") + (wide < 0 ? "-" : "") + digits;
}

std::optional<std::int32_t> AveNumberOfName(std::string_view name) {
    if (name.substr(0, 3) != "Ave") {
        return std::nullopt;
    }
    std::string_view digits = name.substr(3);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) {
        digits.remove_prefix(1);
    }
    // The run pads to three digits and no further: "Ave0007" is nobody's name.
    const auto magnitude = WholeNumber(digits);
    if (!magnitude && !(negative && digits == "2147483648")) {
        return std::nullopt;
    }
    const std::int64_t value = magnitude ? (negative ? -*magnitude : *magnitude) : -kLargestAve - 1;
    std::string canonical = std::to_string(negative ? -value : value);
    canonical.insert(0, canonical.size() < 3 ? 3 - canonical.size() : 0, '0');
    if (canonical != digits || (negative && value == 0)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

AveSelection AveChoice::Take(std::int32_t startNumber, std::int32_t stopNumber) const {
    if (const auto plan = DurationPlan(startNumber, stopNumber)) {
        return AveSelection::List(plan->Shard.Aves);
    }
    AveSelection selection = List ? AveSelection::List(*List) : AveSelection::Range(startNumber, stopNumber);
    return Shard ? selection.Shard(Shard->K, Shard->N) : selection;
}

std::optional<ShardPlan> AveChoice::DurationPlan(std::int32_t startNumber, std::int32_t stopNumber) const {
    if (!Shard || !Timings) {
        return std::nullopt;
    }
    const AveSelection night = List ? AveSelection::List(*List) : AveSelection::Range(startNumber, stopNumber);
    if (night.Count() > kMostListedAves) {
        return std::nullopt;
    }
    std::vector<std::int32_t> tonight;
    tonight.reserve(static_cast<std::size_t>(night.Count()));
    for (std::int64_t i = 0; i < night.Count(); ++i) {
        tonight.push_back(night.At(i));
    }
    return PlanShard(tonight, *Timings, Shard->K, Shard->N);
}

}  // namespace orlenta
