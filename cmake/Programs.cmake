# What every program of Tessor gets, whichever folder defines it: the
# version note and its place in the installed tree. Included at the end of
# the top-level CMakeLists.txt, so a program only needs to exist as a target
# (the window program `tessor` included) to be covered here.
set(TESSOR_PROGRAMS tessor tessor-cli tessor-vdrive)
foreach(program IN LISTS TESSOR_PROGRAMS)
  if(TARGET ${program})
    tessor_carry_version(${program})
  endif()
endforeach()
tessor_carry_version(wnaspi32)
