cmake_minimum_required(VERSION 3.25)
# The source folders form layers: each includes headers of its own folder and of the
# folders before it in LAYERS, never of a later one. The first four are the core.
#   profiles   the profile record with its plan rows, the preferences store, date-times
#   log        the run log's file and lines, the report texts
#   engine     scan, plan, execution (with the execution step around it), the run driver
#   scheduler  due times and the scheduler loop
#   widgets    reusable Qt widgets
#   ui         the windows and the Qt UI port
#   app        start-up and the command line
# Run as: cmake -DSOURCE_DIR=<repository> -P check_layers.cmake
set(LAYERS profiles log engine scheduler widgets ui app)
set(allowed "")
set(problems "")
foreach(dir ${LAYERS})
  list(APPEND allowed ${dir})
  file(GLOB files ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([A-Za-z_]+)/.*" "\\1" used "${line}")
      if(NOT used IN_LIST allowed)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
        string(APPEND problems "  ${name} includes ${used}/\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "The layers are ${LAYERS}, each using only those before it:\n${problems}")
endif()
message(STATUS "layers clean: ${LAYERS}")
