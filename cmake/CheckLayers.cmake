# Fails when a source folder includes from a folder above it. Run as
#   cmake -DQB_SRC=<src folder> -P CheckLayers.cmake
# Each folder may include from the folders listed after it in its rule only;
# linking alone would not catch a header-only reach upwards.
set(above_core       dbaccess conversion shell preview cli app)
set(above_dbaccess   conversion shell preview cli app)
set(above_conversion shell preview cli app)
set(above_shell      preview cli app)
set(above_preview    cli app)
set(above_cli        shell preview app)

set(violations "")
foreach(folder core dbaccess conversion shell preview cli)
  list(JOIN above_${folder} "|" forbidden)
  file(GLOB_RECURSE sources "${QB_SRC}/${folder}/*.h" "${QB_SRC}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*\"(\\.\\./)?(${forbidden})/")
    foreach(hit IN LISTS hits)
      file(RELATIVE_PATH name "${QB_SRC}" "${source}")
      string(APPEND violations "  ${name}: ${hit}\n")
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that reach a folder above their own:\n${violations}")
endif()
message(STATUS "Layers: every include points down")
