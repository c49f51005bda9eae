cmake_minimum_required(VERSION 3.25)
# Writes the user part of README.md (cmake -DIN=README.md -DOUT=file -P ReadmeUser.cmake):
# the introduction and the sections a user of the package needs, without the developer ones.
set(keep "What this is" "Configuration" "Pointing the program at a real scanner"
         "HID scanners (Vantrel)"
         "Which library set for which JVM" "Java API"
         "Installing")
file(READ ${IN} text)
# One list element per line; semicolons are kept aside meanwhile.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
set(out "")
set(keeping 1)
foreach(line IN LISTS lines)
  if(line MATCHES "^## (.*)$")
    list(FIND keep "${CMAKE_MATCH_1}" i)
    if(i EQUAL -1)
      set(keeping 0)
    else()
      set(keeping 1)
    endif()
  endif()
  if(keeping)
    string(APPEND out "${line}\n")
  endif()
endforeach()
string(REPLACE "<semicolon>" ";" out "${out}")
file(WRITE ${OUT} "${out}")
