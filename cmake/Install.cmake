# `cmake --install build/PRESET --prefix DIR`: the package of one platform in DIR.
#   Linux:   lib/libKolvex.so libTavrix.so libVantrel.so, lib/kolvex.jar kolvex-api.jar
#            kolvex-natives.jar, bin/kolvex-doctor scanner-sim, etc/kolvex-example.reg
#            kolvex-try.reg, README.md
#   Windows: bin/Kolvex.dll Tavrix.dll Vantrel.dll kolvex-doctor.exe, lib/*.jar,
#            etc/kolvex-example.reg, README.md
# README.md there is the package's own opening (packaging/README-*.md.in) and the user
# sections of the project's README. `cmake --build ... --target
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
if(TARGET scanner-sim AND NOT WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/kolvex-try.reg DESTINATION etc)
endif()
# The installed README: the package's own opening, then the user sections of README.md.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KOLVEX_PKG_ARCH "x86_64")
    set(KOLVEX_PKG_BITS 64)
  else()
    set(KOLVEX_PKG_ARCH "x86, 32-bit")
    set(KOLVEX_PKG_BITS 32)
  endif()
  set(_head_in ${CMAKE_SOURCE_DIR}/packaging/README-windows.md.in)
else()
  set(_head_in ${CMAKE_SOURCE_DIR}/packaging/README-linux.md.in)
endif()
set(_head ${CMAKE_BINARY_DIR}/packaging/README-head.md)
configure_file(${_head_in} ${_head} @ONLY)
install(CODE "execute_process(COMMAND \${CMAKE_COMMAND}
  -DIN=${CMAKE_SOURCE_DIR}/README.md -DHEAD=${_head}
  -DOUT=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/README.md
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
