// The AVEs that failed in a JUnit file Orlenta wrote, read with the platform's XML parser (MSXML).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orlenta {

// The AVEs whose testcases hold a failure or an error, in number order, each once. Only testcases
// of class "AVE" in a testsuite named "Orlenta" (or "Orlenta shard k/n") count; the file may hold
// one such testsuite or a CI server's merge of several under "testsuites". Raises AppError saying
// why when the file cannot be read or is not Orlenta's. COM must be initialised on the thread.
std::vector<std::int32_t> FailedAvesOf(const std::wstring& junitPath);

}  // namespace orlenta
