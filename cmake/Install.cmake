# Installation and the Debian package: psxdig, its man page, README and
# licence. The image generator is an optional component ("generator").
include(GNUInstallDirs)

set(PSXDIG_DOC_BUILD ${CMAKE_CURRENT_BINARY_DIR}/doc)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/psxdig.1 ${PSXDIG_DOC_BUILD}/psxdig.1 @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/changelog.Debian ${PSXDIG_DOC_BUILD}/changelog.Debian @ONLY)
# Debian wants man pages and changelogs compressed, reproducibly (-n).
foreach(page psxdig.1 changelog.Debian)
  add_custom_command(OUTPUT ${PSXDIG_DOC_BUILD}/${page}.gz
    COMMAND gzip -9nkf ${PSXDIG_DOC_BUILD}/${page}
    DEPENDS ${PSXDIG_DOC_BUILD}/${page} VERBATIM)
endforeach()
add_custom_target(psxdig_docs ALL DEPENDS ${PSXDIG_DOC_BUILD}/psxdig.1.gz
                                          ${PSXDIG_DOC_BUILD}/changelog.Debian.gz)

install(TARGETS psxdig RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PSXDIG_DOC_BUILD}/psxdig.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE doc/copyright ${PSXDIG_DOC_BUILD}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(TARGETS psxdig_mkimage RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT generator EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME psxdig)
set(CPACK_PACKAGE_VENDOR "The psxdig developers")
set(CPACK_PACKAGE_CONTACT "psxdig developers <psxdig@users.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and extract the music data of PlayStation games")
set(CPACK_PACKAGE_DESCRIPTION
    "psxdig searches a disc image or a game's data archive for PlayStation\n\
sequences (SEQ, SEP and game-specific formats) and sound banks (VAB and\n\
others with their ADPCM bodies), writes every item out, lists everything\n\
and sets byte-identical duplicates aside.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
include(CPack)

if(PSXDIG_TESTS)
  add_test(NAME ManPage.NamesTheOptionsOfEveryHelpText
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_manpage.sh $<TARGET_FILE:psxdig>
                   ${PSXDIG_DOC_BUILD}/psxdig.1)
endif()
