add_library(ostrel_warnings INTERFACE)
target_compile_options(ostrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(OSTREL_WERROR)
  target_compile_options(ostrel_warnings INTERFACE -Werror)
endif()
# GCC 12 misreports std::optional members as maybe-uninitialized, and
# "text" + std::string as overlapping copies (-Wrestrict), once the optimiser
# inlines them; both are known compiler faults, not ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(ostrel_warnings INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:-Wno-maybe-uninitialized -Wno-restrict>)
endif()
