# Compiler settings shared by every target. The engine's results depend on single-precision
# rounding in a fixed order, so multiply-adds are never fused and no fast-math or host-specific
# code generation is allowed, natively and with mingw alike.
add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra)

if(TOVRIN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz target's coverage: every library it links is instrumented for libFuzzer (clang only).
if(TOVRIN_BUILD_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
