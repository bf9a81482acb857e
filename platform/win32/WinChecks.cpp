// Our portable headers use the system's numbers; here they are held against its own.

#include "platform/CodePage.h"
#include "platform/Http.h"
#include "platform/Registry.h"
#include "platform/win32/WinApi.h"

static_assert(KEY_QUERY_VALUE == WinApi::KeyQueryValue && KEY_SET_VALUE == WinApi::KeySetValue &&
              KEY_CREATE_SUB_KEY == WinApi::KeyCreateSubKey && KEY_READ == WinApi::KeyRead &&
              KEY_WRITE == WinApi::KeyWrite && KEY_ALL_ACCESS == WinApi::KeyAllAccess);
static_assert(REG_NONE == WinApi::RegNone && REG_SZ == WinApi::RegSz &&
              REG_EXPAND_SZ == WinApi::RegExpandSz && REG_BINARY == WinApi::RegBinary &&
              REG_DWORD == WinApi::RegDword && REG_MULTI_SZ == WinApi::RegMultiSz &&
              REG_QWORD == WinApi::RegQword);
static_assert(CP_ACP == int(WinApi::CpAcp) && CP_UTF8 == int(WinApi::CpUtf8));
static_assert(INTERNET_DEFAULT_HTTP_PORT == WinApi::HttpPort &&
              INTERNET_DEFAULT_HTTPS_PORT == WinApi::HttpsPort);
