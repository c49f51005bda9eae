# `cmake --install build/PRESET --prefix DIR`: the package of one platform in DIR.
#   Linux:   lib/libKolvex.so libTavrix.so libVantrel.so, lib/kolvex.jar kolvex-api.jar,
#            bin/scanner-sim, etc/kolvex-example.reg, README.md
#   Windows: bin/Kolvex.dll Tavrix.dll Vantrel.dll (and scanner-sim.exe), lib/*.jar,
#            etc/kolvex-example.reg, README.md
# README.md there is the user part of the project's README. `cmake --build ... --target
# package` makes the same as an archive (.tar.gz on Linux, .zip for Windows).
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS Kolvex Tavrix Vantrel RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
  set(_reg ${CMAKE_SOURCE_DIR}/packaging/kolvex-example-windows.reg)
else()
  # Each library finds the others in its own folder, installed and in the build alike (the
  # build's copies go into kolvex-natives.jar).
  set_target_properties(Kolvex Tavrix Vantrel PROPERTIES INSTALL_RPATH "\$ORIGIN"
                        BUILD_RPATH_USE_ORIGIN ON)
  install(TARGETS Kolvex Tavrix Vantrel LIBRARY DESTINATION lib)
  set(_reg ${CMAKE_SOURCE_DIR}/packaging/kolvex-example-linux.reg)
endif()
if(TARGET scanner-sim AND NOT WIN32)
  install(TARGETS scanner-sim RUNTIME DESTINATION bin)
endif()
install(TARGETS kolvex-doctor RUNTIME DESTINATION bin)
if(TARGET kolvex_natives_jar)
  install(FILES ${KOLVEX_NATIVES_JAR} DESTINATION lib)
endif()
if(TARGET kolvex_jar)
  install(FILES ${KOLVEX_JAR} DESTINATION lib)
endif()
if(TARGET kolvex_api_jar)
  install(FILES ${KOLVEX_API_JAR} DESTINATION lib)
endif()
install(FILES ${_reg} DESTINATION etc RENAME kolvex-example.reg)
install(CODE "execute_process(COMMAND \${CMAKE_COMMAND}
  -DIN=${CMAKE_SOURCE_DIR}/README.md -DOUT=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/README.md
  -P ${CMAKE_SOURCE_DIR}/cmake/ReadmeUser.cmake)")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
elseif(WIN32)
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_SYSTEM_NAME linux-x86_64)
endif()
set(CPACK_PACKAGE_NAME kolvex)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
