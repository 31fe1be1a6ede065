# Sanitizer builds: -DVELMORA_SANITIZE=address,undefined (or thread) builds
# every target with those run-time checks; the first finding ends the program.
set(VELMORA_SANITIZE "" CACHE STRING "Sanitizers for the whole build, comma-separated (address,undefined or thread)")
if(VELMORA_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "VELMORA_SANITIZE is for GCC and Clang")
  endif()
  if(VELMORA_SANITIZE MATCHES "thread" AND VELMORA_SANITIZE MATCHES "address")
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  set(velmora_sanitize_flags -fsanitize=${VELMORA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${velmora_sanitize_flags})
  add_link_options(${velmora_sanitize_flags})
endif()
