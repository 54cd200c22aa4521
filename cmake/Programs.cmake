# What every program of Tessor gets, whichever folder defines it: the
# version note and its place in the installed tree. Included at the end of
# the top-level CMakeLists.txt, so a program only needs to exist as a target
# (the window program `tessor` included) to be covered here.
include(GNUInstallDirs)

set(TESSOR_PROGRAMS tessor tessor-cli tessor-vdrive)
foreach(program IN LISTS TESSOR_PROGRAMS)
  if(TARGET ${program})
    tessor_carry_version(${program})
  endif()
endforeach()
tessor_carry_version(wnaspi32)

# Installed layout. The programs look for libwnaspi32.so (the virtual
# recorder) in the folder of their own file, found through /proc/self/exe,
# which the kernel gives with every link resolved. So the programs and the
# library are installed together in lib/tessor, and bin holds relative links
# to the programs: started through a link, a program still finds the library
# beside its real file, wherever the tree is unpacked.
set(TESSOR_INSTALL_PROGRAMDIR "lib/tessor" CACHE STRING
    "Folder, below the prefix, of the programs and libwnaspi32.so")
file(RELATIVE_PATH link_to_programs /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${TESSOR_INSTALL_PROGRAMDIR})
set(links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${links})
foreach(program IN LISTS TESSOR_PROGRAMS)
  if(TARGET ${program})
    # Installed programs load nothing through a run path.
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    install(TARGETS ${program} RUNTIME DESTINATION ${TESSOR_INSTALL_PROGRAMDIR})
    file(CREATE_LINK ${link_to_programs}/${program} ${links}/${program} SYMBOLIC)
    install(FILES ${links}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
set_target_properties(wnaspi32 PROPERTIES INSTALL_RPATH "")
install(TARGETS wnaspi32 LIBRARY DESTINATION ${TESSOR_INSTALL_PROGRAMDIR})

# Man pages, compressed as Debian wants them.
set(res ${PROJECT_SOURCE_DIR}/resources)
set(man_pages tessor-cli tessor-vdrive)
if(TARGET tessor)
  list(APPEND man_pages tessor)
endif()
set(man_outputs)
foreach(page IN LISTS man_pages)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${res}/man/${page}.1 > ${out}
    DEPENDS ${res}/man/${page}.1
    VERBATIM)
  list(APPEND man_outputs ${out})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Bash completion: one script for both command-line programs, found by
# bash-completion under either program's name.
install(FILES ${res}/completion/tessor-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
file(CREATE_LINK tessor-cli ${links}/tessor-vdrive-completion SYMBOLIC)
install(FILES ${links}/tessor-vdrive-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tessor-vdrive)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessor)

# The desktop program's entry, metainfo and icon.
if(TARGET tessor)
  install(FILES ${res}/desktop/org.tessor.tessor.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${res}/desktop/org.tessor.tessor.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${res}/pictures/tessor-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tessor.png)
  endforeach()
  install(FILES ${res}/pictures/tessor.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
