# CPack runs this on the .deb's staged files: the programs stripped as Debian strips them
# (dh_strip): the symbols they do not need, and the compiler's .comment and .note sections.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
  message(FATAL_ERROR "CPack gave no staging folder to strip")
endif()
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note --strip-unneeded
                          "${program}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
