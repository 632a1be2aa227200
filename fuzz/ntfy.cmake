tw_fuzzer(ntfy ntfy.cpp ${SRC}/sync/NtfyTopic.cpp ${SRC}/sync/NtfyReply.cpp
  ${SRC}/preferences/ServiceAddress.cpp)
