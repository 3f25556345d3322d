# The desktop tests drive `quillmere edit` through real X input, each on a display of its own:
# they need the GTK host and Xvfb, xdotool, xclip and a D-Bus session. Without them the build and
# every other test work as before.
if(NOT TARGET quillmere OR NOT TARGET kit_gtk)
  return()
endif()
find_program(QUILL_XVFB_RUN xvfb-run)
find_program(QUILL_XDOTOOL xdotool)
find_program(QUILL_XCLIP xclip)
find_program(QUILL_DBUS_RUN_SESSION dbus-run-session)
find_package(Python3 COMPONENTS Interpreter QUIET)
if(QUILL_XVFB_RUN AND QUILL_XDOTOOL AND QUILL_XCLIP AND QUILL_DBUS_RUN_SESSION
   AND Python3_Interpreter_FOUND)
  foreach(case copy edit close_while_editing drag close_while_dragging files open_twice save_failure clipboard links text_field)
    add_test(NAME desktop_${case}
      COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/desktop_test.py $<TARGET_FILE:quillmere>
              ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/desktop ${case})
    set_tests_properties(desktop_${case} PROPERTIES LABELS desktop TIMEOUT 120
      ENVIRONMENT "QUILL_RESOURCES=${CMAKE_SOURCE_DIR}/resources")
  endforeach()
else()
  message(STATUS "Desktop tests off: they need gtk4, xvfb-run, xdotool, xclip, dbus-run-session and python3")
endif()
