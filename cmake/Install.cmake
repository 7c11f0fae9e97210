# Shared-library versions, link checks, and what `cmake --install` puts where: the three
# libraries, the public headers, kvmedia, a CMake package, a pkg-config file; and the Debian
# package of `./kv package` (CPack).
include(CMakePackageConfigHelpers)

set(KV_LIBRARIES KvPlatform KvHost KvMediaFile)
set(KV_LIBRARY_FOLDERS platform host KvMediaFile)
foreach(library IN LISTS KV_LIBRARIES)
  add_library(KvMediaFile::${library} ALIAS ${library})
  set_target_properties(${library} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # Not in sanitizer builds: under clang the runtimes come with the executable, and the
  # libraries keep undefined references to them.
  if(NOT (KV_SANITIZE OR KV_TSAN OR KV_FUZZ))
    target_link_options(${library} PRIVATE LINKER:--no-undefined)
  endif()
endforeach()
# Each library exports through the version script beside its sources.
foreach(library folder IN ZIP_LISTS KV_LIBRARIES KV_LIBRARY_FOLDERS)
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/exports.map)
  target_link_options(${library} PRIVATE LINKER:--version-script=${map})
  set_property(TARGET ${library} APPEND PROPERTY LINK_DEPENDS ${map})
endforeach()

# Installed below a prefix that the loader does not search, the libraries find each other
# and kvmedia finds them through a relative run path; system prefixes get none.
list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES ${CMAKE_INSTALL_FULL_LIBDIR} kv_system_libdir)
if(kv_system_libdir LESS 0)
  set_target_properties(${KV_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
  set_target_properties(kvmedia PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

# The public headers are KvMediaFile.h and every project header it reaches through its
# #include lines, so that a header the API comes to need is installed with it and no
# internal one is. They keep their folders under include/KvMediaFile/.
function(kv_public_headers out)
  set(todo ${ARGN})
  set(found)
  while(todo)
    list(POP_FRONT todo header)
    if(header IN_LIST found)
      continue()
    endif()
    list(APPEND found ${header})
    set(path ${PROJECT_SOURCE_DIR}/${header})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    file(STRINGS ${path} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${included})
        message(FATAL_ERROR "${header} includes \"${included}\", which is not a project header")
      endif()
      list(APPEND todo ${included})
    endforeach()
  endwhile()
  list(SORT found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Beside them, the host services a stand-alone program sets up or calls itself: its own UI
# services, the video standard, the line codec.
kv_public_headers(KV_PUBLIC_HEADERS KvMediaFile/KvMediaFile.h host/UiServices.h host/VideoStd.h
  host/LineCodec.h)
foreach(header IN LISTS KV_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KvMediaFile/${folder})
endforeach()

install(TARGETS ${KV_LIBRARIES} EXPORT KvMediaFileTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS kvmedia RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The browsing panel and dialog, when Qt 6 was found: the library KvMediaFileUi with its
# header, and kvmedia-browse, installed and exported the same way.
set(KV_WITH_UI FALSE)
if(TARGET KvMediaFileUi)
  set(KV_WITH_UI TRUE)
  add_library(KvMediaFile::KvMediaFileUi ALIAS KvMediaFileUi)
  set_target_properties(KvMediaFileUi PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(NOT (KV_SANITIZE OR KV_TSAN OR KV_FUZZ))
    target_link_options(KvMediaFileUi PRIVATE LINKER:--no-undefined)
  endif()
  set(KV_UI_EXPORTS_MAP ${CMAKE_CURRENT_SOURCE_DIR}/ui/exports.map)
  target_link_options(KvMediaFileUi PRIVATE LINKER:--version-script=${KV_UI_EXPORTS_MAP})
  set_property(TARGET KvMediaFileUi APPEND PROPERTY LINK_DEPENDS ${KV_UI_EXPORTS_MAP})
  if(kv_system_libdir LESS 0)
    set_target_properties(KvMediaFileUi PROPERTIES INSTALL_RPATH "$ORIGIN")
    set_target_properties(kvmedia-browse PROPERTIES
      INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
  kv_public_headers(KV_UI_HEADERS KvMediaFile/KvMediaUi.h)
  foreach(header IN LISTS KV_UI_HEADERS)
    if(NOT header IN_LIST KV_PUBLIC_HEADERS)
      get_filename_component(folder ${header} DIRECTORY)
      install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KvMediaFile/${folder})
    endif()
  endforeach()
  install(TARGETS KvMediaFileUi EXPORT KvMediaFileTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(TARGETS kvmedia-browse RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# find_package(KvMediaFile CONFIG): KvMediaFile::KvMediaFile, with KvHost and KvPlatform.
set(KV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KvMediaFile)
install(EXPORT KvMediaFileTargets NAMESPACE KvMediaFile:: DESTINATION ${KV_CMAKE_DIR})
configure_package_config_file(cmake/KvMediaFileConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfig.cmake INSTALL_DESTINATION ${KV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfigVersion.cmake DESTINATION ${KV_CMAKE_DIR})

# pkg-config: written when installing, with the prefix of that install (`--prefix`, or the
# package's /usr), so that its paths are plain absolute ones.
install(CODE "
  get_filename_component(KV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  set(KV_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(KV_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(KV_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/kvmediafile.pc.in\"
    \"${CMAKE_CURRENT_BINARY_DIR}/kvmediafile.pc\" @ONLY)
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kvmediafile.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# ./kv package: one Debian package with the libraries, the headers, the two package
# descriptions and kvmedia.
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kvmediafile)
  if(NOT CPACK_PACKAGE_CONTACT)
    set(CPACK_PACKAGE_CONTACT "KvMediaFile developers <kvmediafile@localhost>")
  endif()
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "media-file library of a titling suite: pictures, movies and scrolls as BGRA pixels")
  set(CPACK_PACKAGE_DESCRIPTION "KvMediaFile reads and writes picture, motion-movie, FLIC and \
scroll files for a broadcast titling suite and hands over 32-bit BGRA pixels. The package \
holds the shared libraries, the C++ headers, a CMake package and a pkg-config file \
(kvmediafile), and the command-line tool kvmedia.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_STRIP_FILES ON)
  # Runtime dependencies from the libraries' own needs when dpkg-shlibdeps is there (our
  # three libraries are resolved inside the package); otherwise the Debian 12 names.
  find_program(KV_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(KV_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libjpeg62-turbo, libdevil1c2, libpng16-16")
  endif()
  include(CPack)
endif()
