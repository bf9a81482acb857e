#pragma once

// The one way into the Windows headers. <windows.h> maps every function that takes
// text to its A or W form with a macro of the plain name (DeleteFile -> DeleteFileW),
// and several of those plain names are our own portable functions and methods
// (DeleteFile, ReplaceFile, InternetOpen, GetFileVersionInfo, VerQueryValue,
// RegisterWindowMessage, PostMessage, ...). Left alone, a file that includes both
// would declare or call DeleteFileW where the rest of the program links DeleteFile.
// So the Windows headers are included here only, and the macros that collide are
// undone right after: code of ours calls the W functions by their explicit names.
//
// The same goes for the constants that our portable headers declare with the system's
// numbers (REG_SZ, KEY_READ, HKEY_CURRENT_USER, CP_UTF8, INTERNET_DEFAULT_HTTP_PORT):
// as macros they would turn our declarations into nonsense. The system's values are
// kept under WinApi:: before the macros go, and WinChecks.cpp holds ours against them.
//
// COM's <objbase.h> is left out on purpose: it declares an interface IInternetSession
// of its own, which our platform/Http.h also names. The one file that needs COM
// (WinShell.cpp) includes it after this header, and it never meets Http.h.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

// <windows.h> first: the others build on it.
#include <windows.h>

#include <shellapi.h>
#include <wininet.h>
#include <winsock2.h>  // the socket errors that WinInet passes on
#include <winver.h>
#include <ws2tcpip.h>

namespace WinApi {
inline const HKEY CurrentUser = HKEY_CURRENT_USER;
inline const HKEY LocalMachine = HKEY_LOCAL_MACHINE;
inline constexpr DWORD KeyQueryValue = KEY_QUERY_VALUE, KeySetValue = KEY_SET_VALUE,
                       KeyCreateSubKey = KEY_CREATE_SUB_KEY, KeyRead = KEY_READ, KeyWrite = KEY_WRITE,
                       KeyAllAccess = KEY_ALL_ACCESS;
inline constexpr DWORD RegNone = REG_NONE, RegSz = REG_SZ, RegExpandSz = REG_EXPAND_SZ,
                       RegBinary = REG_BINARY, RegDword = REG_DWORD, RegMultiSz = REG_MULTI_SZ,
                       RegQword = REG_QWORD;
inline constexpr UINT CpAcp = CP_ACP, CpUtf8 = CP_UTF8;
inline constexpr INTERNET_PORT HttpPort = INTERNET_DEFAULT_HTTP_PORT, HttpsPort = INTERNET_DEFAULT_HTTPS_PORT;
}  // namespace WinApi

#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef KEY_QUERY_VALUE
#undef KEY_SET_VALUE
#undef KEY_CREATE_SUB_KEY
#undef KEY_READ
#undef KEY_WRITE
#undef KEY_ALL_ACCESS
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_MULTI_SZ
#undef REG_QWORD
#undef CP_ACP
#undef CP_UTF8
#undef INTERNET_DEFAULT_HTTP_PORT
#undef INTERNET_DEFAULT_HTTPS_PORT

#undef DeleteFile
#undef ReplaceFile
#undef CreateMutex
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef VerQueryValue
#undef RegisterWindowMessage
#undef PostMessage
#undef SendMessage
#undef InternetOpen
#undef InternetConnect
#undef HttpOpenRequest
#undef HttpSendRequest
#undef HttpQueryInfo
#undef HttpAddRequestHeaders
#undef ShellExecute
#undef GetMessage
#undef CreateWindow
#undef LoadString
#undef MessageBox
#undef CopyFile
#undef MoveFile
#undef CreateDirectory
#undef GetObject
