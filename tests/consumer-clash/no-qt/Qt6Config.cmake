# Qt6_DIR of the configure without the component Ui: any look for Qt fails the configure.
message(FATAL_ERROR "find_package(KvMediaFile) without the component Ui looked for Qt")
