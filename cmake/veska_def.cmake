# Writes the module-definition file of veska.dll from the prototypes in
# veska.h, so that the exports cannot drift from the header: every Vsk_
# function, undecorated, and on 32-bit Windows with the @N of __stdcall
# (four bytes an argument, every argument being 32 bits wide), which
# --kill-at strips from the exported name while the import library keeps it.
#   cmake -DHEADER=veska.h -DOUTPUT=veska.def -DSTDCALL=ON|OFF -P veska_def.cmake
file(READ ${HEADER} header)
string(REGEX REPLACE "[\r\n]+" " " header "${header}")
string(REGEX MATCHALL "VSK_CALL +Vsk_[A-Za-z0-9_]+ *\\([^)]*\\)" prototypes "${header}")
set(def "LIBRARY veska.dll\nEXPORTS\n")
set(count 0)
foreach(prototype IN LISTS prototypes)
  string(REGEX REPLACE "VSK_CALL +(Vsk_[A-Za-z0-9_]+).*" "\\1" name "${prototype}")
  string(REGEX REPLACE ".*\\(([^)]*)\\)" "\\1" params "${prototype}")
  string(REGEX MATCHALL "," commas "${params}")
  list(LENGTH commas n)
  math(EXPR bytes "(${n} + 1) * 4")
  if(STDCALL)
    string(APPEND def "    ${name}@${bytes}\n")
  else()
    string(APPEND def "    ${name}\n")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(NOT count EQUAL 26)
  message(FATAL_ERROR "veska.h declares ${count} Vsk_ functions, not 26")
endif()
file(WRITE ${OUTPUT}.new "${def}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
