tw_fuzzer(cloudreplies cloudreplies.cpp ${SRC}/sync/CloudRecords.cpp ${SRC}/sync/CloudConfiguration.cpp
  ${SRC}/support/Paths.cpp)
tw_fuzzer(credential credential.cpp ${SRC}/sync/CloudRecords.cpp)
