# ft847_harden(TARGETS...): Debian's hardening, as `DEB_BUILD_MAINT_OPTIONS=hardening=+all
# dpkg-buildflags` gives it: fortified libc calls, the stack protector, format-string checks,
# position-independent code and executables, and full RELRO (the relocations read-only, bound
# at start). For programs that face a network. The project's own warning set still applies.
function(ft847_harden)
  foreach(target IN LISTS ARGN)
    # _FORTIFY_SOURCE needs the optimizer; a compiler that defines it already is overruled.
    target_compile_options(${target} PRIVATE
      -fstack-protector-strong -Wformat -Werror=format-security -fPIE
      "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -pie -Wl,-z,relro -Wl,-z,now)
    endif()
  endforeach()
endfunction()
