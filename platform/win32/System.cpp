#include "platform/System.h"

#include "platform/win32/WindowsApi.h"

namespace prax::platform {

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

bool ProcessGone(int pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return gone;
}

}  // namespace prax::platform
