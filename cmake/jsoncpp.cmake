# JsonCpp is compiled from Debian's source package, which tools/setup.sh
# unpacks into .deps/jsoncpp; no copy of it lives in this repository.
set(JSONCPP_SOURCE_DIR ${CORVANE_DEPS_DIR}/jsoncpp)
if(NOT EXISTS ${JSONCPP_SOURCE_DIR}/src/lib_json/json_value.cpp)
  message(FATAL_ERROR "JsonCpp sources not found in ${JSONCPP_SOURCE_DIR}: run tools/setup.sh first")
endif()
add_library(jsoncpp STATIC
  ${JSONCPP_SOURCE_DIR}/src/lib_json/json_reader.cpp
  ${JSONCPP_SOURCE_DIR}/src/lib_json/json_value.cpp
  ${JSONCPP_SOURCE_DIR}/src/lib_json/json_writer.cpp)
# SYSTEM: its deprecation notes and warnings are not ours to fix.
target_include_directories(jsoncpp SYSTEM PUBLIC ${JSONCPP_SOURCE_DIR}/include)
target_include_directories(jsoncpp PRIVATE ${JSONCPP_SOURCE_DIR}/src/lib_json)
target_compile_options(jsoncpp PRIVATE -w)
# Not -Os: at -Os GCC leaves the small std::streambuf members that reading
# from a std::istream uses as calls into the C++ library, and one such call
# links its streams and locale machinery back in (several hundred KB).
target_compile_options(jsoncpp PRIVATE $<$<CONFIG:Release>:-O2>)
# Without the C++ library's streams (cmake/jsoncpp/): its own sources find
# the stand-in <iostream> first, and every file that uses JsonCpp, its own
# included, sees the same stand-ins for its stream types.
target_include_directories(jsoncpp BEFORE PRIVATE ${CMAKE_CURRENT_LIST_DIR}/jsoncpp)
target_compile_options(jsoncpp PUBLIC
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/jsoncpp/no_streams.h>")
