# The release package for Windows users: `cmake --build <build> --target package`
# writes <build>/sonalto-<version>-win32.zip. Unzipped, it gives one folder of that
# name holding sonalto.exe, morvask.dll, README.txt and LICENSE.txt, so a user's
# download never spills loose files into the folder it is unzipped in.

# Notepad before Windows 10 1809 shows bare line feeds as one long line: both texts
# get CRLF line ends here, whatever line ends the checkout gave them.
set(SONALTO_PACKAGE_TEXTS ${CMAKE_BINARY_DIR}/package-texts)
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt ${SONALTO_PACKAGE_TEXTS}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${SONALTO_PACKAGE_TEXTS}/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)

# One component, and the package takes that component alone: the import library
# of morvask and anything the tests might install stay out of a user's download.
install(TARGETS sonalto morvask RUNTIME DESTINATION . COMPONENT Release)
install(FILES ${SONALTO_PACKAGE_TEXTS}/README.txt ${SONALTO_PACKAGE_TEXTS}/LICENSE.txt
        DESTINATION . COMPONENT Release)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME sonalto)
set(CPACK_PACKAGE_VENDOR "the Sonalto developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME sonalto-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Release;/")
include(CPack)
