# The Windows installer (cpack -G NSIS in the build folder): the program with
# Translate.sib beside it, the Qt libraries and plugins it loads, and the MinGW runtime,
# all in one folder below Program Files; a Start-menu entry and an uninstaller.

install(TARGETS tessaly-manager RUNTIME DESTINATION .)
if(TARGET translation-file)
  install(FILES ${PROJECT_BINARY_DIR}/Translate.sib DESTINATION .)
endif()

# Qt's libraries, and the plugins the program loads: the windows platform, the native
# style, and the image formats its forms carry.
get_target_property(KW_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(KW_QT_BIN ${KW_QT_CORE_DLL} DIRECTORY)
get_filename_component(KW_QT_PLUGINS ${KW_QT_BIN}/../plugins ABSOLUTE)
install(FILES ${KW_QT_BIN}/Qt6Core.dll ${KW_QT_BIN}/Qt6Gui.dll ${KW_QT_BIN}/Qt6Widgets.dll DESTINATION .)
install(FILES ${KW_QT_PLUGINS}/platforms/qwindows.dll DESTINATION platforms)
install(DIRECTORY ${KW_QT_PLUGINS}/styles/ DESTINATION styles OPTIONAL FILES_MATCHING PATTERN "*.dll")
install(DIRECTORY ${KW_QT_PLUGINS}/imageformats/ DESTINATION imageformats OPTIONAL FILES_MATCHING PATTERN "*.dll")

# libjpeg and the compiler's runtime.
get_filename_component(KW_JPEG_BIN ${JPEG_LIBRARY_RELEASE} DIRECTORY)
file(GLOB KW_JPEG_DLL ${KW_JPEG_BIN}/../bin/libjpeg-*.dll)
set(KW_RUNTIME_DLLS ${KW_JPEG_DLL})
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "The MinGW runtime ${dll} is missing")
  endif()
  list(APPEND KW_RUNTIME_DLLS ${path})
endforeach()
install(FILES ${KW_RUNTIME_DLLS} DESTINATION .)

set(CPACK_GENERATOR NSIS)
# A 64-bit installer for a 64-bit program: it sees the 64-bit Program Files and
# registry, and runs where only 64-bit programs can (a 64-bit Wine, for one).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_PACKAGE_NAME "Tessaly Manager")
set(CPACK_PACKAGE_VENDOR Kestrelweave)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher of the Tessaly multimedia tools")
set(CPACK_PACKAGE_FILE_NAME TessalyManager-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tessaly Manager")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Kestrelweave Tessaly Manager")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Tessaly Manager")
set(CPACK_NSIS_PACKAGE_NAME "Tessaly Manager")
set(CPACK_NSIS_PUBLISHER Kestrelweave)
set(CPACK_NSIS_URL_INFO_ABOUT https://www.kestrelweave.com)
set(CPACK_NSIS_CONTACT support@kestrelweave.com)
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/tessaly-manager.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/app/tessaly-manager.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME tessaly-manager.exe)
# The program is installed at the top of its folder; the Start-menu entry starts it.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES tessaly-manager "Tessaly Manager")
include(CPack)
