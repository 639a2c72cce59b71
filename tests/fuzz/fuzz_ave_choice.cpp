// The first line of the input is read as an AVE list, the second as a shard, the third as a testcase
// name: what is accepted reads back the same from its own plain form, and a list holds each number once.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>

#include "FuzzCheck.h"
#include "run/AveChoice.h"

namespace {

std::string_view Line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

std::string ReferenceName(std::int32_t number) {
    char text[32];
    std::snprintf(text, sizeof text, number < 0 ? "Ave-%03lld" : "Ave%03lld",
                  number < 0 ? -static_cast<long long>(number) : static_cast<long long>(number));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view listText = Line(rest);
    const std::string_view shardText = Line(rest);
    const std::string_view nameText = Line(rest);

    const orlenta::AveListReading list = orlenta::ReadAveList(listText);
    FUZZ_CHECK(list.Problem.empty() != list.Numbers.empty());
    if (list.Problem.empty()) {
        FUZZ_CHECK(static_cast<std::int64_t>(list.Numbers.size()) <= orlenta::kMostListedAves);
        std::unordered_set<std::int32_t> seen;
        std::string plain;
        for (const std::int32_t n : list.Numbers) {
            FUZZ_CHECK(n >= 0 && seen.insert(n).second);
            plain += (plain.empty() ? "" : ",") + std::to_string(n);
        }
        const orlenta::AveListReading again = orlenta::ReadAveList(plain);
        FUZZ_CHECK(again.Problem.empty() && again.Numbers == list.Numbers);
    }

    if (const auto shard = orlenta::ReadShard(shardText)) {
        FUZZ_CHECK(1 <= shard->K && shard->K <= shard->N && shard->N <= INT32_MAX);
        const auto again = orlenta::ReadShard(orlenta::ShardText(*shard));
        FUZZ_CHECK(again && again->K == shard->K && again->N == shard->N);
        // Cut from the list, the shard takes every N-th number, starting at the K-th.
        if (list.Problem.empty()) {
            const orlenta::AveSelection part = orlenta::AveSelection::List(list.Numbers).Shard(shard->K, shard->N);
            for (std::int64_t i = 0; i < part.Count(); ++i) {
                FUZZ_CHECK(part.At(i) == list.Numbers[static_cast<std::size_t>(shard->K - 1 + i * shard->N)]);
            }
        }
    }

    if (const auto number = orlenta::AveNumberOfName(nameText)) {
        FUZZ_CHECK(ReferenceName(*number) == nameText);
    }
    return 0;
}
