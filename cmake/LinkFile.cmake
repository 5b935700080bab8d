# cmake -DORIGINAL=<file> -DDESTINATION=<folder> -P LinkFile.cmake
# A hard link to ORIGINAL in DESTINATION under the same name, replacing what
# is there; a copy where no link can be made.
get_filename_component(name "${ORIGINAL}" NAME)
file(CREATE_LINK "${ORIGINAL}" "${DESTINATION}/${name}" COPY_ON_ERROR)
