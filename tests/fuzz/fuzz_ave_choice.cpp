// Lines 1 to 3 of the input are read as an AVE list, a shard and a testcase name: what is accepted
// reads back the same from its plain and its compact forms, a list holds each number once, a shard every n-th.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const orlenta::AveListReading list = orlenta::ReadAveList(Line(rest));
    FUZZ_CHECK(list.Problem.empty() != list.Numbers.empty());
    if (list.Problem.empty()) {
        FUZZ_CHECK(static_cast<std::int64_t>(list.Numbers.size()) <= orlenta::kMostListedAves);
        std::unordered_set<std::int32_t> seen;
        std::string plain;
        for (const std::int32_t n : list.Numbers) {
            FUZZ_CHECK(n >= 0 && seen.insert(n).second);
            plain += (plain.empty() ? "" : ",") + std::to_string(n);
        }
        FUZZ_CHECK(orlenta::ReadAveList(plain).Numbers == list.Numbers);
        // Its compact form, ascending runs as ranges, reads back the same too.
        const auto compact = orlenta::AveListText(orlenta::AveSelection::List(list.Numbers));
        FUZZ_CHECK(compact && compact->size() <= plain.size() && orlenta::ReadAveList(*compact).Numbers == list.Numbers);
    }

    if (const auto shard = orlenta::ReadShard(Line(rest))) {
        const auto again = orlenta::ReadShard(orlenta::ShardText(*shard));
        FUZZ_CHECK(1 <= shard->K && shard->K <= shard->N && again && again->K == shard->K && again->N == shard->N);
        const orlenta::AveSelection part = orlenta::AveSelection::List(list.Numbers).Shard(shard->K, shard->N);
        for (std::int64_t i = 0; i < part.Count(); ++i) {
            FUZZ_CHECK(part.At(i) == list.Numbers[static_cast<std::size_t>(shard->K - 1 + i * shard->N)]);
        }
    }

    const std::string_view name = Line(rest);
    if (const auto number = orlenta::AveNumberOfName(name)) {
        char expected[32];
        const long long n = *number;
        std::snprintf(expected, sizeof expected, n < 0 ? "Ave-%03lld" : "Ave%03lld", n < 0 ? -n : n);
        FUZZ_CHECK(name == expected);
    }
    return 0;
}
