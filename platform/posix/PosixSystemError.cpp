#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

TSystemErrorKind SystemErrorKind(std::int64_t code) {
    switch (code) {
        case ENOSPC:
            return TSystemErrorKind::NoSpace;
        case EDQUOT:
            return TSystemErrorKind::QuotaExceeded;
        case EACCES:
        case EPERM:
            return TSystemErrorKind::AccessDenied;
        case EROFS:
            return TSystemErrorKind::ReadOnly;
        case ENAMETOOLONG:
            return TSystemErrorKind::NameTooLong;
        case ENOENT:
        case ENOTDIR:
            return TSystemErrorKind::NotFound;
        case EIO:
            return TSystemErrorKind::InputOutput;
        case EFBIG:
            return TSystemErrorKind::FileTooLarge;
        default:
            return TSystemErrorKind::Other;
    }
}

TSystemError SystemError(std::int64_t code) {
    return {SystemErrorKind(code), QString::fromLocal8Bit(std::strerror(static_cast<int>(code)))};
}

TSystemError OtherError(const QString& text) {
    return {TSystemErrorKind::Other, text};
}

void ClearSystemError() {
    errno = 0;
}

TSystemError LastSystemError() {
    const int error = errno;
    return error == 0 ? TSystemError{} : SystemError(error);
}
