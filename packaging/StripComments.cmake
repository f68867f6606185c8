# Run by CPack after installing into its staging folder: removes the .comment section (the
# compilers' version strings) from every ELF file, as Debian's own packaging does.
find_program(VLM_OBJCOPY objcopy REQUIRED)
file(GLOB_RECURSE staged_files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${staged_files})
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${VLM_OBJCOPY}" --remove-section=.comment "${file}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
