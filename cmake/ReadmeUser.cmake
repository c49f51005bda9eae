cmake_minimum_required(VERSION 3.25)
# Writes the installed README (cmake -DIN=README.md -DHEAD=file -DOUT=file -P ReadmeUser.cmake):
# the package's own opening (HEAD: what is in the folder and commands that run from it),
# then the sections of the project's README that a user of the package needs. Sections about
# building, the build folders and the project's tests stay out.
set(keep "What this is" "Configuration" "HID scanners (Vantrel)" "Java API"
         "Natives inside the jar" "kolvex-doctor" "Using it from a JavaPOS application")
file(READ ${HEAD} head)
file(READ ${IN} text)
# One list element per line; semicolons are kept aside meanwhile.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
set(out "")
set(keeping 0)
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
file(WRITE ${OUT} "${head}${out}")
