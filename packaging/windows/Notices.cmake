# The Windows programs' third-party notices, made from what the linker
# really took (its map files); the build fails when a library is linked
# whose notice is missing (notices.py). package.sh puts the result in the zip.
set(notice_maps)
set(notice_programs)
foreach(program quillomar-cli quillomar)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE -Wl,-Map=${CMAKE_BINARY_DIR}/${program}.map)
    list(APPEND notice_maps ${CMAKE_BINARY_DIR}/${program}.map)
    list(APPEND notice_programs ${program})
  endif()
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/notices.py ${QUILLOMAR_WIN_DEPS} ${CMAKE_BINARY_DIR}
    ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt ${notice_maps}
  DEPENDS ${notice_programs} ${CMAKE_CURRENT_LIST_DIR}/notices.py
  VERBATIM)
add_custom_target(quillomar_notices ALL DEPENDS ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
