// For tests only: a call between the listing of a folder and the opening of its entries, where a
// test can change the tree the way another program might while a reset runs.
#pragma once

#include <functional>
#include <string>

namespace orlenta::test_hooks {

// `hook` gets the listed folder's full path; an empty function removes it. Not thread-safe.
void SetFolderListedHook(std::function<void(const std::wstring& folderPath)> hook);

}  // namespace orlenta::test_hooks
