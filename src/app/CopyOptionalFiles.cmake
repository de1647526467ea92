# Copies the files the program looks for in its own folder. Run with -P.
function(copy_if_present from to)
  if(EXISTS "${from}")
    get_filename_component(dir "${to}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${from}" "${to}")
  endif()
endfunction()

copy_if_present("${QB_SHELL_RESOURCES}/HAND-M.CUR" "${QB_APP_DIR}/HAND-M.CUR")
copy_if_present("${QB_SHELL_RESOURCES}/o.cjs" "${QB_APP_DIR}/x/o.cjs")
copy_if_present("${QB_SAMPLES_DIR}/sample.mdb" "${QB_APP_DIR}/Samples/sample.mdb")
copy_if_present("${QB_SAMPLES_DIR}/sample1.db3" "${QB_APP_DIR}/Samples/sample1.db3")
