# Checks that a bundle's moduleinfo.json names its one class by the class ID text CID.
#   cmake -DFILE=<moduleinfo.json> -DCID=<32 hex digits> -P CheckModuleInfoClassID.cmake
file(READ "${FILE}" info)
string(REGEX MATCHALL "\"CID\"[ \t]*:[ \t]*\"[0-9A-Fa-f]*\"" found "${info}")
list(LENGTH found n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "${FILE}: ${n} class IDs: ${found}")
endif()
string(REGEX REPLACE ".*\"([0-9A-Fa-f]*)\"$" "\\1" cid "${found}")
if(NOT cid STREQUAL CID)
  message(FATAL_ERROR "${FILE}: class ID ${cid}, expected ${CID}")
endif()
message(STATUS "class ID ${cid}")
