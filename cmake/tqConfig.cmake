# The CMake package of libtq, installed beside tq.pc:
#
#   find_package(tq CONFIG REQUIRED)
#   target_link_libraries(my_program PRIVATE tq::tq)
#
# tq::tq is the shared library with the folder of tq.h. Its dependencies
# (ICU, expat, PCRE2) are the library's own and need not be found here.
include("${CMAKE_CURRENT_LIST_DIR}/tqTargets.cmake")
