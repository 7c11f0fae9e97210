# Shared-library versions, link checks, and what `cmake --install` puts where: the three
# libraries, the public headers, kvmedia, a CMake package, a pkg-config file. The Debian
# packages are made from the install components by packaging/make-debs.
include(CMakePackageConfigHelpers)

set(KV_LIBRARIES KvPlatform KvHost KvMediaFile)
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
set(KV_EXPORTS_MAP ${CMAKE_CURRENT_SOURCE_DIR}/KvMediaFile/exports.map)
target_link_options(KvMediaFile PRIVATE LINKER:--version-script=${KV_EXPORTS_MAP})
set_property(TARGET KvMediaFile APPEND PROPERTY LINK_DEPENDS ${KV_EXPORTS_MAP})

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
