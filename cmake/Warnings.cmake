# Warning sets. The engine gets the strict set: it parses untrusted bytes, and implicit
# narrowing or shadowing there is how offsets go wrong.
function(vlm_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VLM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

function(vlm_strict_warnings target)
  vlm_warnings(${target})
  target_compile_options(${target} PRIVATE -Wshadow -Wconversion -Wsign-conversion)
endfunction()
