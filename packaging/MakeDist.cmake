# Makes the release files from a built Orlenta.exe: the installer, the portable zip and SHA256SUMS.
# cmake -DVERSION=x.y.z -DPROGRAM=<Orlenta.exe> -DSOURCE_DIR=<checkout> -DOUTPUT_DIR=<dist> -DMAKENSIS=<makensis>
#       -P MakeDist.cmake
foreach(required VERSION PROGRAM SOURCE_DIR OUTPUT_DIR MAKENSIS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "MakeDist.cmake needs -D${required}")
  endif()
endforeach()

set(name "Orlenta-${VERSION}")
set(setup "${name}-setup.exe")
set(zip "${name}-portable.zip")
set(stage "${OUTPUT_DIR}-stage")
file(REMOVE_RECURSE "${OUTPUT_DIR}" "${stage}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}" "${stage}/${name}/Samples")

# What both hold: the program, the sample script (never as Files\, which is the site's), the README as text.
file(COPY "${PROGRAM}" DESTINATION "${stage}/${name}")
file(COPY "${SOURCE_DIR}/examples/Files/KavroTestScript1.vbs" DESTINATION "${stage}/${name}/Samples")
file(READ "${SOURCE_DIR}/README.md" readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE "${stage}/${name}/README.txt" "${readme}")

execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCD "-DVERSION=${VERSION}" "-DSTAGE=${stage}/${name}" "-DOUTFILE=${OUTPUT_DIR}/${setup}"
          "${CMAKE_CURRENT_LIST_DIR}/Orlenta.nsi"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "makensis failed (${result})")
endif()

# The zip unpacks to one folder named after the release.
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUTPUT_DIR}/${zip}" --format=zip -- "${name}"
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "making ${zip} failed (${result})")
endif()
file(REMOVE_RECURSE "${stage}")

# In the format `sha256sum -c` reads.
set(sums "")
foreach(file IN ITEMS "${setup}" "${zip}")
  file(SHA256 "${OUTPUT_DIR}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/SHA256SUMS" "${sums}")
message(STATUS "Release files in ${OUTPUT_DIR}: ${setup}, ${zip}, SHA256SUMS")
