# Shared-library versions, link checks, and what `cmake --install` puts where: the three
# libraries, the public headers, kvmedia, a CMake package, pkg-config files. The Debian
# packages are made from the install components by packaging/make-debs.
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

# Installed, the headers sit under include/KvMediaFile/ (KvMediaFile/X.h as KvMediaFile/X.h,
# host/X.h as KvMediaFile/host/X.h) and include each other by that path, so that a consumer
# adds no include folder of ours and its own host/ or platform/ is never picked up. The
# source tree keeps its one spelling; the installed copies are written here with each
# project #include rewritten, and only when their text changes.
function(kv_install_headers component)
  foreach(header IN LISTS ARGN)
    string(REGEX REPLACE "^KvMediaFile/" "" installed ${header})
    file(READ ${PROJECT_SOURCE_DIR}/${header} text)
    string(REGEX REPLACE "(#[ \t]*include[ \t]*)\"(KvMediaFile/)?([^\"]+)\""
      "\\1<KvMediaFile/\\3>" text "${text}")
    if(text MATCHES "#[ \t]*include[ \t]*\"")
      message(FATAL_ERROR "${header}: an #include without the KvMediaFile/ prefix remains")
    endif()
    set(staged ${PROJECT_BINARY_DIR}/include/KvMediaFile/${installed})
    set(old)
    if(EXISTS ${staged})
      file(READ ${staged} old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE ${staged} "${text}")
    endif()
    get_filename_component(folder ${installed} DIRECTORY)
    install(FILES ${staged} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KvMediaFile/${folder}
      COMPONENT ${component})
  endforeach()
endfunction()

# Beside them, the host services a stand-alone program sets up or calls itself: its own UI
# services, the video standard, the line codec.
kv_public_headers(KV_PUBLIC_HEADERS KvMediaFile/KvMediaFile.h host/UiServices.h host/VideoStd.h
  host/LineCodec.h)
kv_install_headers(core-dev ${KV_PUBLIC_HEADERS})

# Every install() names its component, by which the packages are split: core (the runtime
# libraries), core-dev (headers, links, CMake and pkg-config files), ui and ui-dev for the
# UI library, tools (the programs).
install(TARGETS ${KV_LIBRARIES} EXPORT KvMediaFileTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT core NAMELINK_COMPONENT core-dev)
install(TARGETS kvmedia RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# The browsing panel and dialog, when Qt 6 was found: the library KvMediaFileUi with its
# header, and kvmedia-browse, installed the same way; exported apart as the package's
# component Ui (KvMediaFile::Ui), so that only its users need Qt.
set(KV_WITH_UI FALSE)
if(TARGET KvMediaFileUi)
  set(KV_WITH_UI TRUE)
  add_library(KvMediaFile::Ui ALIAS KvMediaFileUi)
  set_target_properties(KvMediaFileUi PROPERTIES EXPORT_NAME Ui
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
  list(REMOVE_ITEM KV_UI_HEADERS ${KV_PUBLIC_HEADERS})
  kv_install_headers(ui-dev ${KV_UI_HEADERS})
  install(TARGETS KvMediaFileUi EXPORT KvMediaFileUiTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ui NAMELINK_COMPONENT ui-dev)
  install(TARGETS kvmedia-browse RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# find_package(KvMediaFile CONFIG): KvMediaFile::KvMediaFile, with KvHost and KvPlatform;
# with COMPONENTS Ui also KvMediaFile::Ui, from a targets file of its own.
set(KV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KvMediaFile)
install(EXPORT KvMediaFileTargets NAMESPACE KvMediaFile:: DESTINATION ${KV_CMAKE_DIR}
  COMPONENT core-dev)
if(KV_WITH_UI)
  install(EXPORT KvMediaFileUiTargets NAMESPACE KvMediaFile:: DESTINATION ${KV_CMAKE_DIR}
    COMPONENT ui-dev)
endif()
configure_package_config_file(cmake/KvMediaFileConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfig.cmake INSTALL_DESTINATION ${KV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/KvMediaFileConfigVersion.cmake DESTINATION ${KV_CMAKE_DIR}
  COMPONENT core-dev)

# pkg-config (kvmediafile, and kvmediafile-ui beside the UI library): written when
# installing, with the prefix of that install (`--prefix`, or the package's /usr), so that
# their paths are plain absolute ones.
set(KV_PC_FILES kvmediafile:core-dev)
if(KV_WITH_UI)
  list(APPEND KV_PC_FILES kvmediafile-ui:ui-dev)
endif()
foreach(pc_file IN LISTS KV_PC_FILES)
  string(REPLACE ":" ";" pc_file ${pc_file})
  list(GET pc_file 0 pc_name)
  list(GET pc_file 1 pc_component)
  install(CODE "
    get_filename_component(KV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
    set(KV_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(KV_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(KV_PC_VERSION \"${PROJECT_VERSION}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/cmake/${pc_name}.pc.in\"
      \"${CMAKE_CURRENT_BINARY_DIR}/${pc_name}.pc\" @ONLY)
  " COMPONENT ${pc_component})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc_name}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${pc_component})
endforeach()
