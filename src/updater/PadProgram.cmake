# Pads the updater's program file with zero bytes up to the offset at which
# it expects an appended firmware image. Run after every link:
#   cmake -DPROGRAM=<file> -DOFFSET=<bytes> -P PadProgram.cmake
file(SIZE "${PROGRAM}" size)
if(size GREATER OFFSET)
  file(REMOVE "${PROGRAM}")
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes, longer than the image offset ${OFFSET}: "
                      "raise TESSEL_UPDATER_IMAGE_OFFSET.")
endif()
execute_process(COMMAND truncate -s "${OFFSET}" "${PROGRAM}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${PROGRAM}")
  message(FATAL_ERROR "could not pad ${PROGRAM} to ${OFFSET} bytes")
endif()
