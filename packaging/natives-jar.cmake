cmake_minimum_required(VERSION 3.25)
# Builds kolvex-natives.jar: the native library sets as class path resources, one folder per
# platform under com/jpos/scanner/natives/VERSION/, each with a natives.list of
# "SHA-256 file-name" lines that com.jpos.scanner.KolvexLoader checks its copies against.
#   cmake -DOUT=jar -DJAR=jar-tool -DSTAGE=dir -DVERSION=x.y.z [-DSTRIP=strip]
#         -DSETS="platform=file,file,...;platform=..." -P natives-jar.cmake
# A set whose files are missing fails the build: a jar must not silently lack a platform.
file(REMOVE_RECURSE ${STAGE})
set(root ${STAGE}/com/jpos/scanner/natives/${VERSION})
string(REPLACE "|" ";" sets "${SETS}")
foreach(set IN LISTS sets)
  if(NOT set MATCHES "^([^=]+)=(.+)$")
    message(FATAL_ERROR "natives-jar: malformed set '${set}'")
  endif()
  set(platform ${CMAKE_MATCH_1})
  string(REPLACE "," ";" files "${CMAKE_MATCH_2}")
  set(dir ${root}/${platform})
  file(MAKE_DIRECTORY ${dir})
  set(list "")
  foreach(f IN LISTS files)
    if(NOT EXISTS ${f})
      message(FATAL_ERROR "natives-jar: ${platform}: ${f} does not exist (build that preset first)")
    endif()
    get_filename_component(name ${f} NAME)
    file(COPY_FILE ${f} ${dir}/${name})
    # The libraries lose their debug sections (binutils' strip reads ELF and PE alike); the
    # jar is what applications ship.
    if(STRIP AND name MATCHES "\\.(so|dll)$")
      execute_process(COMMAND ${STRIP} --strip-debug ${dir}/${name} RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "natives-jar: ${STRIP} ${name} failed")
      endif()
    endif()
    file(SHA256 ${dir}/${name} sum)
    string(APPEND list "${sum} ${name}\n")
  endforeach()
  file(WRITE ${dir}/natives.list "${list}")
  message(STATUS "natives-jar: ${platform}: ${files}")
endforeach()
file(REMOVE ${OUT})
execute_process(COMMAND ${JAR} cf ${OUT} -C ${STAGE} com RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "natives-jar: ${JAR} failed")
endif()
