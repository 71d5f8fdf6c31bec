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

# The zip is written by a script of ours rather than CPack, whose zips carry the
# files' build times, in the builder's time zone, and the builder's user id: the
# same files must give the same zip.
# Windows builds without Python make no package.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(SONALTO_PACKAGE sonalto-${PROJECT_VERSION}-win32)
  set(SONALTO_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-stage)
  # CMake keeps the name "package" for CPack while a build tree still holds the
  # configuration an earlier CPack run left there.
  file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${SONALTO_PACKAGE_STAGE}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --config $<CONFIG> --component Release
            --prefix ${SONALTO_PACKAGE_STAGE}/${SONALTO_PACKAGE}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/zip.py
            ${CMAKE_BINARY_DIR}/${SONALTO_PACKAGE}.zip ${SONALTO_PACKAGE_STAGE}/${SONALTO_PACKAGE}
            ${PROJECT_SOURCE_DIR}
    VERBATIM)
  add_dependencies(package sonalto morvask)
endif()
