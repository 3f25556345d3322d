# Installs into a fresh prefix, moves the prefix elsewhere and renders with the installed program
# alone (no QUILL_RESOURCES, run outside both trees): the picture equals the build tree's. With
# the installed resources emptied it says they are missing.
cmake_minimum_required(VERSION 3.25)

function(check_run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}): ${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
check_run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
foreach(needed bin/quillmere share/quillmere/Settings.plist share/quillmere/iconList.plist)
  if(NOT EXISTS ${WORK_DIR}/prefix/${needed})
    message(FATAL_ERROR "the install lacks ${needed}")
  endif()
endforeach()
file(GLOB fonts ${WORK_DIR}/prefix/share/quillmere/fonts ${WORK_DIR}/prefix/share/quillmere/*.ttf)
if(fonts)
  message(FATAL_ERROR "fonts were installed: ${fonts}")
endif()
file(RENAME ${WORK_DIR}/prefix ${WORK_DIR}/moved)

set(input ${SOURCE_DIR}/examples/garden.txt)
check_run("the build tree's program" ${CMAKE_COMMAND} -E env QUILL_RESOURCES=${SOURCE_DIR}/resources
          ${BUILD_DIR}/quillmere render ${input} -o ${WORK_DIR}/built.png)
check_run("the installed program" ${CMAKE_COMMAND} -E env --unset=QUILL_RESOURCES
          ${WORK_DIR}/moved/bin/quillmere render ${input} -o ${WORK_DIR}/installed.png)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/built.png ${WORK_DIR}/installed.png
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the installed program drew a different picture")
endif()

file(REMOVE_RECURSE ${WORK_DIR}/moved/share/quillmere)
file(MAKE_DIRECTORY ${WORK_DIR}/moved/share/quillmere)
# Emptied, they are missed by name: so they, not the source tree's, are what was read.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=QUILL_RESOURCES
                ${WORK_DIR}/moved/bin/quillmere render ${input} -o ${WORK_DIR}/bare.png
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
string(FIND "${err}" "the resources were not found: '${WORK_DIR}/moved/share/quillmere'" said)
if(NOT rc EQUAL 1 OR said EQUAL -1 OR EXISTS ${WORK_DIR}/bare.png)
  message(FATAL_ERROR "the installed program did not read its installed resources (${rc}): ${err}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
