# The radio base's replies (the engine's reads over a stand-in line, then every
# decoder), the command texts, and the data logger's version reply. The units
# are compiled in so that libFuzzer sees their coverage; the FTDI layer is the
# stand-in of fake_line.cpp; the reader class comes with them because the
# exchange hands it what waits before a request.
set(z5_fuzz_reply_units
  ${CMAKE_CURRENT_LIST_DIR}/fake_line.cpp
  ${CMAKE_SOURCE_DIR}/library/uFrameExchange.cpp
  ${CMAKE_SOURCE_DIR}/library/uLineFrames.cpp
  ${CMAKE_SOURCE_DIR}/library/uD2XX.cpp
  ${CMAKE_SOURCE_DIR}/library/uFtdiDevice.cpp
  ${CMAKE_SOURCE_DIR}/library/uFtdiThread.cpp
  ${CMAKE_SOURCE_DIR}/library/uStreamParser.cpp
  ${CMAKE_SOURCE_DIR}/library/uTemplateSensors.cpp
  ${CMAKE_SOURCE_DIR}/library/uHandleRegistry.cpp
  ${CMAKE_SOURCE_DIR}/library/uTemplateDevices.cpp
  ${CMAKE_SOURCE_DIR}/library/uNumberText.cpp
  ${CMAKE_SOURCE_DIR}/library/uRTUUReplies.cpp)
set(z5_fuzz_reply_includes ${CMAKE_SOURCE_DIR}/library ${CMAKE_SOURCE_DIR}/include
  ${CMAKE_SOURCE_DIR}/platform ${CMAKE_SOURCE_DIR}/platform/d2xx)

z5_add_fuzzer(frame_replies_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_replies_fuzz.cpp ${z5_fuzz_reply_units}
  LIBS z5platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/frame_replies)

z5_add_fuzzer(command_texts_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_texts_fuzz.cpp ${z5_fuzz_reply_units}
          ${CMAKE_SOURCE_DIR}/library/uDLUReplies.cpp
  LIBS z5platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/command_texts)

z5_add_fuzzer(dlu_version_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dlu_version_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/library/uDLUReplies.cpp ${CMAKE_SOURCE_DIR}/library/uNumberText.cpp
  LIBS z5platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/dlu_version)

foreach(t frame_replies_fuzz command_texts_fuzz dlu_version_fuzz)
  target_include_directories(${t} PRIVATE ${z5_fuzz_reply_includes})
  target_compile_options(${t} PRIVATE -fno-sanitize-recover=undefined)
endforeach()
