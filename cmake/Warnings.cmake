function(kv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # CI builds turn every warning into an error, so that none creeps in unseen.
  if(KV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
