# Warnings for our own targets. Floating point stays strict IEEE: NaN must
# propagate and compare false, so no fast-math style flags anywhere.
function(quorvel_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Wnon-virtual-dtor)
endfunction()
