#include "platform/SystemError.h"

#include "platform/win32/WinText.h"

namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which not every SDK's headers name.
constexpr std::int64_t DiskQuotaExceeded = 1295;

}  // namespace

TSystemErrorKind SystemErrorKind(std::int64_t code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return TSystemErrorKind::NoSpace;
        case DiskQuotaExceeded:
            return TSystemErrorKind::QuotaExceeded;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return TSystemErrorKind::AccessDenied;
        case ERROR_WRITE_PROTECT:
            return TSystemErrorKind::ReadOnly;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW:
            return TSystemErrorKind::NameTooLong;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return TSystemErrorKind::NotFound;
        case ERROR_CRC:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_IO_DEVICE:
            return TSystemErrorKind::InputOutput;
        case ERROR_FILE_TOO_LARGE:
            return TSystemErrorKind::FileTooLarge;
        default:
            return TSystemErrorKind::Other;
    }
}

TSystemError SystemError(std::int64_t code) {
    return {SystemErrorKind(code), SystemMessage(static_cast<DWORD>(code))};
}

TSystemError OtherError(const QString& text) {
    return {TSystemErrorKind::Other, text};
}

void ClearSystemError() {
    SetLastError(ERROR_SUCCESS);
}

TSystemError LastSystemError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? TSystemError{} : SystemError(error);
}
