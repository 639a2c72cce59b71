// The job object that holds every process of a pass.
#include "run/PassJob.h"

#include <utility>

#include "util/AppError.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

KernelHandle CreatePassJob(bool endCrashingProcesses) {
    KernelHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) {
        throw AppError::FromLastError();
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (endCrashingProcesses ? JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION : 0);
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        throw AppError::FromLastError();
    }
    return job;
}

std::vector<DWORD> JobProcessIds(HANDLE job) {
    // The list's header is followed by its ids; a job that grew meanwhile is asked again, larger.
    for (DWORD room = 32;; room *= 4) {
        std::vector<ULONG_PTR> buffer(room + 2);
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
        const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR));
        const BOOL ok = QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, size, nullptr);
        if (!ok && GetLastError() != ERROR_MORE_DATA) {
            return {};
        }
        if (ok && list->NumberOfProcessIdsInList >= list->NumberOfAssignedProcesses) {
            std::vector<DWORD> ids;
            for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
                ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
            }
            return ids;
        }
        if (room > 65536) {
            return {};
        }
    }
}

std::string ProcessImageName(DWORD processId) {
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
        return "process";
    }
    return WideToUtf8(LeafOf(std::wstring(path, size)));
}

namespace {

struct JobProcess {
    DWORD id;
    std::string name;
    KernelHandle handle;
    bool gone;  // it could not be opened because it had already ended
};

JobProcess OpenJobProcess(DWORD id) {
    // Named now: once a process has gone its name cannot be read.
    std::string name = ProcessImageName(id);
    KernelHandle handle(OpenProcess(SYNCHRONIZE, FALSE, id));
    const bool gone = !handle && GetLastError() == ERROR_INVALID_PARAMETER;
    return {id, std::move(name), std::move(handle), gone};
}

// Waits for every process until the deadline; true when all have ended.
bool WaitUntil(const std::vector<JobProcess>& processes, ULONGLONG deadline) {
    bool all = true;
    for (const JobProcess& process : processes) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        all = (process.gone || (process.handle && WaitForSingleObject(process.handle.get(), wait) == WAIT_OBJECT_0)) &&
              all;
    }
    return all;
}

bool HasEnded(const JobProcess& process) {
    return process.gone || (process.handle && WaitForSingleObject(process.handle.get(), 0) == WAIT_OBJECT_0);
}

}  // namespace

JobEnding EndJobProcesses(HANDLE job, DWORD scriptId, DWORD graceMs, DWORD waitMs) {
    std::vector<JobProcess> processes;
    for (const DWORD id : JobProcessIds(job)) {
        processes.push_back(OpenJobProcess(id));
    }
    if (processes.empty() || WaitUntil(processes, GetTickCount64() + graceMs)) {
        return {};
    }
    std::vector<const JobProcess*> ended;
    for (const JobProcess& process : processes) {
        // The console host of a console program goes with it: naming it would double each such program.
        if (process.id != scriptId && !HasEnded(process) && ToLowerText(process.name) != "conhost.exe") {
            ended.push_back(&process);
        }
    }
    TerminateJobObject(job, kEndedByRun);
    JobEnding ending;
    ending.AllGone = WaitUntil(processes, GetTickCount64() + waitMs);
    for (const JobProcess* process : ended) {
        ending.Ended.push_back(process->name + " (" + std::to_string(process->id) + ")" +
                               (HasEnded(*process) ? "" : ", could not be ended"));
    }
    return ending;
}

}  // namespace orlenta
