# cmake -DOUTPUT=<file> -DPARTS=<file;file...> -P Concatenate.cmake: writes the parts one after the other.
set(text "")
foreach(part IN LISTS PARTS)
  file(READ ${part} content)
  string(APPEND text "${content}")
endforeach()
file(WRITE ${OUTPUT} "${text}")
