# Compiler settings shared by every target of the project.

set(QUENZAL_SANITIZE "" CACHE STRING "Sanitizers to build with (address;undefined, thread, ...)")

# The order of single-precision operations fixes the rounding of the voicing, so no target
# may fuse or reassociate floating-point arithmetic.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(QUENZAL_SANITIZE)
    list(JOIN QUENZAL_SANITIZE "," _sanitizers)
    add_compile_options(-fsanitize=${_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_sanitizers})
    # The thread sanitizer does not model standalone fences; the one after a successful
    # initialize backs a release store that it does model, so GCC's warning about it is moot.
    if("thread" IN_LIST QUENZAL_SANITIZE)
        add_compile_options($<$<CXX_COMPILER_ID:GNU>:-Wno-tsan>)
    endif()
endif()

# Our own targets treat every warning as an error.
function(quenzal_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
