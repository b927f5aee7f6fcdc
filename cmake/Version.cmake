# The project's one version, project(VERSION), as Windows writes it: four numbers (1.0.0 is 1.0.0.0).
# The version resource of every shipped program, the program's manifest and the installer (through
# scripts/package, which reads version.txt) all take it from here; what is generated goes in the
# build folder.
set(TORVEX_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH})
if(PROJECT_VERSION_TWEAK STREQUAL "")
    list(APPEND TORVEX_VERSION_NUMBERS 0)
else()
    list(APPEND TORVEX_VERSION_NUMBERS ${PROJECT_VERSION_TWEAK})
endif()
list(JOIN TORVEX_VERSION_NUMBERS . TORVEX_VERSION)
list(JOIN TORVEX_VERSION_NUMBERS , TORVEX_VERSION_COMMAS)
set(TORVEX_GENERATED ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${TORVEX_GENERATED}/version.txt CONTENT "${TORVEX_VERSION}\n")

# torvex_version_resource(TARGET DESCRIPTION): a version resource for the program TARGET.exe.
function(torvex_version_resource target description)
    set(TORVEX_FILE_DESCRIPTION "${description}")
    set(TORVEX_INTERNAL_NAME ${target})
    set(resource ${TORVEX_GENERATED}/${target}.version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${resource} @ONLY)
    target_sources(${target} PRIVATE ${resource})
endfunction()
