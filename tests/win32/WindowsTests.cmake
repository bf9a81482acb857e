# The suites of the Windows build, run under Wine by run-under-wine.py (included from
# tests/CMakeLists.txt in a Windows build). The reader and translator suites are the
# same sources as on Linux; win32_tests covers what the Windows platform layer itself
# does, on the real (Wine) registry, WinInet, the shell and window messages.
find_package(GTest REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Test)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_library(testsupport STATIC
  support/TestMain.cpp
  support/TempFolder.cpp
  support/SignedInstallers.cpp
  support/AppFixture.cpp
  support/Input.cpp
  support/NetworkEnvironment.cpp
  support/win32/NetworkSettings.cpp
  support/HoldingProcess.cpp
  support/win32/HoldingProcess.cpp
  support/win32/TestHttpServer.cpp
  support/TestHttpServerCommon.cpp
)
target_link_libraries(testsupport PUBLIC GTest::gtest toolkit PRIVATE ws2_32 crypt32 advapi32)
target_compile_definitions(testsupport PUBLIC KW_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
  KW_PROJECT_VERSION="${PROJECT_VERSION}")

# Where Wine finds the DLLs: the Windows Qt, libjpeg, and the MinGW runtime.
get_target_property(KW_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(KW_QT_BIN ${KW_QT_CORE_DLL} DIRECTORY)
get_filename_component(KW_QT_PLUGINS ${KW_QT_BIN}/../plugins ABSOLUTE)
get_filename_component(KW_JPEG_BIN ${JPEG_LIBRARY_RELEASE} DIRECTORY)
get_filename_component(KW_JPEG_BIN ${KW_JPEG_BIN}/../bin ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE KW_RUNTIME_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(KW_RUNTIME_BIN ${KW_RUNTIME_DLL} DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
  OUTPUT_VARIABLE KW_PTHREAD_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(KW_PTHREAD_BIN ${KW_PTHREAD_DLL} DIRECTORY)
set(KW_WINE_RUN Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/win32/run-under-wine.py
  --path ${KW_QT_BIN} --path ${KW_JPEG_BIN} --path ${KW_RUNTIME_BIN} --path ${KW_PTHREAD_BIN}
  --plugins ${KW_QT_PLUGINS})
set(KW_WINE_RUN ${KW_WINE_RUN} PARENT_SCOPE)

# kw_add_wine_suite(NAME SOURCES... LIBS... [SERVERS] [SIGNED]): one executable, run
# under Wine; SERVERS starts the test HTTP servers for it, SIGNED makes the signed
# installers and trusts their authority.
function(kw_add_wine_suite name)
  cmake_parse_arguments(ARG "SERVERS;SIGNED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE testsupport ${ARG_LIBS})
  set(run ${KW_WINE_RUN})
  if(ARG_SERVERS)
    list(APPEND run --servers)
  endif()
  if(ARG_SIGNED)
    list(APPEND run --signed)
  endif()
  add_test(NAME ${name} COMMAND ${run} -- $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KW_TEST_BINARY_DIR=Z:${CMAKE_BINARY_DIR}"
    TIMEOUT 900)
endfunction()

file(GLOB KW_TOOLKIT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/toolkit/*.cpp)
kw_add_wine_suite(toolkit_tests SOURCES ${KW_TOOLKIT_TESTS} LIBS toolkit Qt6::Test)
file(GLOB KW_I18N_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/i18n/*.cpp)
kw_add_wine_suite(i18n_tests SOURCES ${KW_I18N_TESTS} LIBS i18n)
add_dependencies(i18n_tests tessaly-sib)

# Small programs that the Windows tests start: one posts a registered window message
# to every top-level window, as an installer does; one records how it was started;
# one holds a file as a running download does.
add_executable(kw-broadcast win32/programs/Broadcast.cpp)
add_executable(kw-record win32/programs/Record.cpp)
add_executable(kw-hold win32/programs/Hold.cpp)
target_link_libraries(kw-hold PRIVATE platform)
target_link_libraries(kw-broadcast PRIVATE user32)
target_link_libraries(kw-record PRIVATE shell32)
target_link_options(kw-broadcast PRIVATE -municode)
target_link_options(kw-record PRIVATE -municode)

file(GLOB KW_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*.cpp)
# The system's SHA-256 (CNG) against Qt's, the request over WinInet against the same
# server and table as over curl, its ring on Windows threads, and WinVerifyTrust against
# the same signed installers as libcrypto.
list(APPEND KW_WIN32_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/platform/TestSha256.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/TestHttpRequest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/TestByteRing.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/TestCodeSignature.cpp)
kw_add_wine_suite(win32_tests SOURCES ${KW_WIN32_TESTS} LIBS app Qt6::Test crypt32 ws2_32 SERVERS SIGNED)
add_dependencies(win32_tests kw-version-probe kw-broadcast kw-record tessaly-manager)

# The downloader's and the download dialog's tables, the same sources as on Linux,
# over WinInet against the same servers. (The finish dialog's suite records the
# shell on the session bus, which only the Linux suite has.)
kw_add_wine_suite(net_tests SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/net/TestDownloader.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/net/TestURLParser.cpp ${CMAKE_CURRENT_SOURCE_DIR}/net/TestHttpParsing.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/net/TestUpdateCheck.cpp
  LIBS net Qt6::Test crypt32 ws2_32 SERVERS SIGNED)
add_dependencies(net_tests kw-hold)
# Its https rows have failed now and then under Wine (a certificate found untrusted)
# while another suite kept both cores busy; alone they have not.
set_tests_properties(net_tests PROPERTIES RUN_SERIAL TRUE)
kw_add_wine_suite(download_tests SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/download/TestDownloadDialog.cpp
  LIBS download Qt6::Test crypt32 ws2_32 SERVERS SIGNED)

# The installer (scripts/build-windows makes it with cpack) installs, starts and
# uninstalls under Wine.
add_test(NAME installer_tests COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/win32/install-test.py
  ${CMAKE_BINARY_DIR}/TessalyManager-${PROJECT_VERSION}-win64.exe)
set_tests_properties(installer_tests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
